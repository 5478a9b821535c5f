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

template <typename E>
[[noreturn]] void RaiseFileError(const char* what, const TPath& path, int error) {
  TFileErrorText e = FileErrorText(what, path, error);
  throw E(e.text, e.name, e.reason, e.whole);
}

/// A refusal naming the target it is for, the path whole for a person.
[[noreturn]] void Refuse(const TPath& target, const std::string& why) {
  throw ETargetRefused(platform::PathText(target).Bytes() + why, TDisplayText() + target + why);
}

/// A temporary being written for one entry: writes that fall short raise, naming the file the
/// entry is for and the system's reason.
class TEntryOutput : public TStream {
 public:
  TEntryOutput(platform::FileHandle handle, TPath target) : file_(handle), target_(std::move(target)) {}
  int Read(void* buffer, int count) override { return file_.Read(buffer, count); }
  int Write(const void* buffer, int count) override {
    const int n = file_.Write(buffer, count);
    if (n < count) {
      TFileErrorText e =
          FileErrorText("Cannot write file", target_, file_.LastError() ? file_.LastError() : kNoSpaceError);
      throw EWriteError(e.text, e.whole);
    }
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
  TPath target_;
};

struct TPendingEntry {
  const platform::Folder* folder;
  std::string temporary, name;  // in folder, in the platform's form
  TPath shown;                  // the target's path, for messages
  int slot = -1;                // in the interrupt clean-up
};

class TWholeExtraction {
 public:
  TWholeExtraction(const TPath& targetDir, const TPath& archivePath)
      : targetDir_(targetDir), archivePath_(archivePath) {}
  ~TWholeExtraction() {
    // Reached with entries pending only after a failure: nothing of them is kept.
    for (const TPendingEntry& p : pending_) {
      p.folder->Remove(p.temporary);
      platform::UnregisterTemporary(p.slot);
    }
    // Windows removes no folder that is held open: the folders go after (made_, declared first).
    folders_.clear();
    root_.reset();
  }

  void Begin() {
    // The folder's own error: on a read-only file system, not the "No such file" of what follows.
    if (!made_.Make(targetDir_)) RaiseFileError<EFCreateError>("Cannot create folder", made_.Failed(), made_.Error());
    root_ = std::make_unique<platform::Folder>(targetDir_);
    if (!root_->IsOpen()) RaiseFileError<EFCreateError>("Cannot create folder", targetDir_, root_->Error());
    RemoveStaleTemporaries(*root_);
  }

  std::unique_ptr<TStream> Open(const TArchiveEntry& entry) {
    // Windows compares names without regard to case: such entries would overwrite each other.
    if (!names_.insert(EntryNameKey(entry.name)).second)
      throw ETargetRefused("a second entry of this name; nothing written");
    std::vector<std::string> parts;
    for (std::size_t i = 0, start = 0; i <= entry.name.size();
         i += i < entry.name.size() ? ProgramCharLength(entry.name, i) : 1)
      if (i == entry.name.size() || entry.name[i] == '/' || entry.name[i] == '\\') {
        parts.push_back(platform::PathFromText(entry.name.substr(start, i - start)).Native());
        start = i + 1;
      }
    const platform::Folder* folder = root_.get();
    std::string relative;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      relative += parts[i] + "/";
      const std::string key = platform::FileNameKey(TPath::FromNative(relative));
      auto found = folders_.find(key);
      if (found == folders_.end()) {
        int error = 0;
        std::unique_ptr<platform::Folder> sub = folder->Sub(parts[i], error);
        if (!sub) {
          const TPath path = Shown(*folder, parts[i]);
          if (folder->Kind(parts[i]) == platform::PathKind::Link)
            Refuse(path, " is a symbolic link, which is not followed; nothing written");
          RaiseFileError<EFOpenError>("Cannot open folder", path, error);
        }
        RemoveStaleTemporaries(*sub);
        found = folders_.emplace(key, std::move(sub)).first;
      }
      folder = found->second.get();
    }
    const std::string& name = parts.back();
    const TPath shown = Shown(*folder, name);
    switch (folder->Kind(name)) {
      case platform::PathKind::Link: Refuse(shown, " is a symbolic link, which is not followed; nothing written");
      case platform::PathKind::Directory:
      case platform::PathKind::Other: Refuse(shown, " exists and is not a file; nothing written");
      case platform::PathKind::File:
        if (!archivePath_.Empty() && folder->IsSameFile(name, archivePath_))
          Refuse(shown, " would overwrite the archive itself; nothing written");
        break;
      case platform::PathKind::None: break;
    }
    TPendingEntry pending{folder, "", name, shown};
    platform::FileHandle handle = platform::kInvalidFile;
    int error = 0;
    for (int attempt = 0; handle == platform::kInvalidFile && attempt < kTemporaryAttempts; ++attempt) {
      pending.temporary = TemporaryName(name);
      handle = folder->CreateNew(pending.temporary, error);
    }
    if (handle == platform::kInvalidFile) RaiseFileError<EFCreateError>("Cannot create file", shown, error);
    pending.slot = platform::RegisterTemporary(InFolder(*folder, pending.temporary));
    pending_.push_back(pending);
    return std::make_unique<TEntryOutput>(handle, InFolder(*folder, name));
  }

  /// Every entry is whole: the temporaries replace their targets.
  void Commit() {
    made_.Keep();
    while (!pending_.empty()) {
      const TPendingEntry& p = pending_.front();
      int error = 0;
      if (!p.folder->Rename(p.temporary, p.name, error))
        RaiseFileError<EFCreateError>("Cannot create file", p.shown, error);
      platform::UnregisterTemporary(p.slot);
      pending_.erase(pending_.begin());
    }
  }

 private:
  // A temporary name that is taken already is tried again with another.
  static constexpr int kTemporaryAttempts = 16;

  std::string TemporaryName(const std::string& name) {
    return TemporaryNameFor(
        name, static_cast<unsigned>(platform::CurrentProcessId() * 2654435761u + platform::TickCount() + ++serial_));
  }
  static TPath InFolder(const platform::Folder& folder, const std::string& name) {
    return folder.Path() + platform::PathDelim() + TPath::FromNative(name);
  }
  static TPath Shown(const platform::Folder& folder, const std::string& name) {
    return platform::ExpandFileName(InFolder(folder, name));
  }

  TPath targetDir_, archivePath_;
  TNewFolders made_;  // before the folders held open, which go first
  std::unique_ptr<platform::Folder> root_;
  std::map<std::string, std::unique_ptr<platform::Folder>> folders_;
  std::set<std::string> names_;
  std::vector<TPendingEntry> pending_;
  unsigned serial_ = 0;
};

}  // namespace

std::int32_t ExtractArchiveWhole(TStream& archive, const TPath& targetDir, const TPath& archivePath) {
  if (targetDir.Empty()) throw EArchiveError("No target folder given");
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
