// Unpacking an archive in one pass, all or nothing (the vendor's tool; the launcher unpacks
// with UnpackArchiveFile).
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "archive/ArchiveExtract.h"
#include "archive/ArchiveReader.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"

// ---- one pass, all or nothing --------------------------------------------------------------

namespace {

/// A temporary being written for one entry: writes that fall short raise, naming the file the
/// entry is for and the system's reason.
class TEntryOutput : public TStream {
 public:
  TEntryOutput(platform::FileHandle handle, std::string target) : file_(handle), target_(std::move(target)) {}
  int Read(void* buffer, int count) override { return file_.Read(buffer, count); }
  int Write(const void* buffer, int count) override {
    const int n = file_.Write(buffer, count);
    if (n < count)
      throw EWriteError("Cannot write file \"" + platform::PathText(platform::ExpandFileName(target_)) + "\". " +
                        platform::SystemErrorText(file_.LastError() ? file_.LastError() : kNoSpaceError));
    return n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return file_.Seek(offset, origin); }

 private:
  // A write that takes nothing and reports no error: the medium is full.
#ifdef _WIN32
  static constexpr int kNoSpaceError = 112;  // ERROR_DISK_FULL
#else
  static constexpr int kNoSpaceError = 28;  // ENOSPC
#endif
  TFileStream file_;
  std::string target_;
};

struct TPendingEntry {
  const platform::Folder* folder;
  std::string temporary, name;  // in folder
  std::string shown;            // the target's path, for messages
  int slot = -1;                // in the interrupt clean-up
};

class TWholeExtraction {
 public:
  TWholeExtraction(const std::string& targetDir, const std::string& archivePath)
      : targetDir_(targetDir), archivePath_(archivePath) {}
  ~TWholeExtraction() {
    // Reached with entries pending only after a failure: nothing of them is kept.
    for (const TPendingEntry& p : pending_) {
      p.folder->Remove(p.temporary);
      platform::UnregisterTemporary(p.slot);
    }
    // Windows removes no folder that is held open.
    folders_.clear();
    root_.reset();
    if (!committed_)
      for (const std::string& made : madeFolders_) platform::RemoveEmptyDirectory(made);
  }

  void Begin() {
    // The folders that are missing, deepest first, so that a failure can take them away again.
    std::string p = targetDir_;
    while (!p.empty() && !platform::DirectoryExists(p)) {
      madeFolders_.push_back(p);
      const std::size_t cut = LastDelimiter(PathDelimiters(), p.substr(0, p.size() - 1));
      p = cut == std::string::npos || cut == 0 ? std::string() : p.substr(0, cut);
    }
    ForceDirectories(targetDir_);
    root_ = std::make_unique<platform::Folder>(targetDir_);
    if (!root_->IsOpen())
      throw EFCreateError("Cannot create folder \"" + platform::PathText(platform::ExpandFileName(targetDir_)) +
                          "\". " + platform::SystemErrorText(root_->Error()));
  }

  std::unique_ptr<TStream> Open(const TArchiveEntry& entry) {
    // Windows compares names without regard to case: such entries would overwrite each other.
    std::string key = LowerCase(entry.name);
    for (char& c : key)
      if (c == '\\') c = '/';
    if (!names_.insert(key).second) throw ETargetRefused("a second entry of this name; nothing written");
    std::vector<std::string> parts;
    for (std::size_t i = 0, start = 0; i <= entry.name.size();
         i += i < entry.name.size() ? ProgramCharLength(entry.name, i) : 1)
      if (i == entry.name.size() || entry.name[i] == '/' || entry.name[i] == '\\') {
        parts.push_back(platform::PathFromText(entry.name.substr(start, i - start)));
        start = i + 1;
      }
    const platform::Folder* folder = root_.get();
    std::string relative;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      relative += parts[i] + "/";
      auto found = folders_.find(LowerCase(relative));
      if (found == folders_.end()) {
        int error = 0;
        std::unique_ptr<platform::Folder> sub = folder->Sub(parts[i], error);
        if (!sub) {
          const std::string path = Shown(*folder, parts[i]);
          if (folder->Kind(parts[i]) == platform::EntryKind::Link)
            throw ETargetRefused(path + " is a symbolic link, which is not followed; nothing written");
          throw EFOpenError("Cannot open folder \"" + path + "\". " + platform::SystemErrorText(error));
        }
        found = folders_.emplace(LowerCase(relative), std::move(sub)).first;
      }
      folder = found->second.get();
    }
    const std::string& name = parts.back();
    const std::string shown = Shown(*folder, name);
    switch (folder->Kind(name)) {
      case platform::EntryKind::Link:
        throw ETargetRefused(shown + " is a symbolic link, which is not followed; nothing written");
      case platform::EntryKind::Folder:
      case platform::EntryKind::Other: throw ETargetRefused(shown + " exists and is not a file; nothing written");
      case platform::EntryKind::File:
        if (!archivePath_.empty() && folder->IsSameFile(name, archivePath_))
          throw ETargetRefused("it would overwrite the archive " + platform::PathText(archivePath_) +
                               " itself; nothing written");
        break;
      case platform::EntryKind::None: break;
    }
    TPendingEntry pending{folder, "", name, shown};
    platform::FileHandle handle = platform::kInvalidFile;
    int error = 0;
    for (int attempt = 0; handle == platform::kInvalidFile && attempt < kTemporaryAttempts; ++attempt) {
      pending.temporary = TemporaryName(name);
      handle = folder->CreateNew(pending.temporary, error);
    }
    if (handle == platform::kInvalidFile)
      throw EFCreateError("Cannot create file \"" + shown + "\". " + platform::SystemErrorText(error));
    pending.slot = platform::RegisterTemporary(folder->Path() + platform::PathDelim() + pending.temporary);
    pending_.push_back(pending);
    return std::make_unique<TEntryOutput>(handle, folder->Path() + platform::PathDelim() + name);
  }

  /// Every entry is whole: the temporaries replace their targets.
  void Commit() {
    committed_ = true;
    while (!pending_.empty()) {
      const TPendingEntry& p = pending_.front();
      int error = 0;
      if (!p.folder->Rename(p.temporary, p.name, error))
        throw EFCreateError("Cannot create file \"" + p.shown + "\". " + platform::SystemErrorText(error));
      platform::UnregisterTemporary(p.slot);
      pending_.erase(pending_.begin());
    }
  }

 private:
  // A temporary name that is taken already is tried again with another.
  static constexpr int kTemporaryAttempts = 16;

  std::string TemporaryName(const std::string& name) {
    char tag[16];
    std::snprintf(
        tag, sizeof tag, "%08x",
        static_cast<unsigned>(platform::CurrentProcessId() * 2654435761u + platform::TickCount() + ++serial_));
    return "." + name + "." + tag + ".tmp";
  }
  static std::string Shown(const platform::Folder& folder, const std::string& name) {
    return platform::PathText(platform::ExpandFileName(folder.Path() + platform::PathDelim() + name));
  }

  std::string targetDir_, archivePath_;
  std::vector<std::string> madeFolders_;
  std::unique_ptr<platform::Folder> root_;
  std::map<std::string, std::unique_ptr<platform::Folder>> folders_;
  std::set<std::string> names_;
  std::vector<TPendingEntry> pending_;
  unsigned serial_ = 0;
  bool committed_ = false;
};

}  // namespace

std::int32_t ExtractArchiveWhole(TStream& archive, const std::string& targetDir, const std::string& archivePath) {
  if (targetDir.empty()) throw EArchiveError("No target folder given");
  TWholeExtraction extraction(targetDir, archivePath);
  extraction.Begin();
  std::string entry;
  std::int32_t count = 0;
  try {
    count = UnpackArchive(
        archive, [&extraction](const TArchiveEntry& e) { return extraction.Open(e); }, &entry);
  } catch (Exception& e) {
    if (!entry.empty()) e.PrefixMessage("\"" + entry + "\": ");
    throw;
  }
  extraction.Commit();
  return count;
}
