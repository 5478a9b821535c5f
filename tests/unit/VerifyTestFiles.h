#pragma once
// Scratch files for the verification tests, in a folder beside the test binary (the same
// place under Wine and on Linux).
#include <cstdio>
#include <string>

#include "base/Classes.h"
#include "platform/Platform.h"

namespace verifytest {

inline std::string ScratchDir() {
  std::string exe = platform::ModuleFileName();
  std::string dir = exe.substr(0, exe.find_last_of("/\\")) + "/verify-scratch";
  ForceDirectories(dir);
  return dir;
}

inline std::string ScratchPath(const std::string& name) { return ScratchDir() + "/" + name; }

inline void WriteFile(const std::string& path, const std::string& bytes) {
  TFileStream f(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                platform::FileCreate::CreateAlways);
  f.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  TFileStream f(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                platform::FileCreate::OpenExisting);
  std::string bytes(static_cast<size_t>(f.Size()), '\0');
  if (!bytes.empty()) f.ReadBuffer(&bytes[0], static_cast<int>(bytes.size()));
  return bytes;
}

inline bool FileExists(const std::string& path) {
  int error = 0;
  platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                              platform::FileCreate::OpenExisting, error);
  platform::FileClose(h);
  return h != platform::kInvalidFile;
}

}  // namespace verifytest
