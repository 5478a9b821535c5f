#pragma once
// Files for the tests of every layer: a private temporary folder, and whole-file reads and
// writes.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Classes.h"
#include "platform/Platform.h"

namespace testfiles {

/// Bytes in the platform's form of a path (an ASCII name, or one the test wrote as UTF-8).
inline TPath AsPath(const std::string& native) { return TPath::FromNative(native); }

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("stq_test_" + std::to_string(platform::CurrentProcessId()) + "_" + std::to_string(++serial));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  TPath Path() const { return TPath::FromNative(path_.string()); }
  /// A path below the folder, joined with the native separator; `name` in the platform's form.
  TPath operator/(const std::string& name) const { return Path() + platform::PathDelim() + AsPath(name); }
  /// The same in the platform's form, as the vendor tool's arguments come.
  std::string At(const std::string& name) const { return (*this / name).Native(); }
  /// The names directly in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

/// Creates or replaces the file; raises as the program's own file writes do.
inline void WriteFile(const TPath& path, const std::string& bytes) {
  TFileStream f(path, platform::FileAccess::ReadWrite, platform::FileShare::None, platform::FileCreate::CreateAlways);
  f.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

inline void WriteFile(const std::string& native, const std::string& bytes) { WriteFile(AsPath(native), bytes); }

/// The whole file; empty when it cannot be read. Through the platform's file functions, which
/// take paths as the program holds them (UTF-8 on Windows, where the runtime's narrow streams
/// would take the system's code page).
inline std::string ReadFile(const TPath& path) {
  int error = 0;
  platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                              platform::FileCreate::OpenExisting, error);
  std::string bytes;
  if (h == platform::kInvalidFile) return bytes;
  char buffer[65536];
  for (int n; (n = platform::FileRead(h, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
  platform::FileClose(h);
  return bytes;
}

inline std::string ReadFile(const std::string& native) { return ReadFile(AsPath(native)); }

}  // namespace testfiles

/// A path followed by ASCII or UTF-8 bytes the test wrote (a delimiter, a name): the tests'
/// shorthand, never the program's.
inline TPath operator+(const TPath& path, const std::string& native) { return path + TPath::FromNative(native); }
inline TPath operator+(const TPath& path, const char* native) { return path + TPath::FromNative(native); }
