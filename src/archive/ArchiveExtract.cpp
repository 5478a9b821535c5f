#include "archive/ArchiveExtract.h"

#include "archive/ArchiveReader.h"
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"

namespace {
/// The archive file as the reader sees it, telling how far it has read.
class TReportingStream : public TStream {
 public:
  TReportingStream(TStream& source, const TUnpackProgress& progress) : source_(source), progress_(progress) {}
  int Read(void* buffer, int count) override {
    const int n = source_.Read(buffer, count);
    if (progress_) progress_(source_.Position());
    return n;
  }
  int Write(const void*, int) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return source_.Seek(offset, origin); }

 private:
  TStream& source_;
  const TUnpackProgress& progress_;
};
}  // namespace

void UnpackArchiveFile(const TPath& archivePath, const TPath& targetDir, const TUnpackProgress& progress,
                       bool removePartial) {
  // An empty folder would put the files in the root of the current drive.
  if (targetDir.Empty()) throw EArchiveError("No target folder given");
  ForceDirectories(targetDir);  // a failure shows when the first file is created
  TPath prefix = targetDir;
  if (LastDelimiter(PathDelimiters(), prefix.Native()) != prefix.Native().size() - 1)
    prefix = prefix + platform::PathDelim();

  TFileStream archive(archivePath, platform::FileAccess::Read, platform::FileShare::None,
                      platform::FileCreate::OpenExisting);
  TReportingStream reporting(archive, progress);
  std::string entry;
  TPath created;  // the file of the entry being written, once it was created
  try {
    UnpackArchive(
        reporting,
        [&prefix, &created](const TArchiveEntry& e) {
          // The name is a text of the program (code page 936); the folder a path.
          LogText("unpacking " + e.name + ", " + std::to_string(e.size) + " bytes");
          const TPath path = prefix + platform::PathFromText(e.name);
          created = TPath();
          auto out = std::make_unique<TFileStream>(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                                   platform::FileCreate::CreateAlways);
          created = path;
          return out;
        },
        &entry);
  } catch (Exception& e) {
    // A part of a file is worse than none: nobody may take it for the whole. The output is
    // closed by now (UnpackArchive closes it before it raises).
    if (removePartial && !entry.empty() && !created.Empty()) platform::RemoveFile(created);
    if (!entry.empty()) e.PrefixMessage("\"" + entry + "\": ");
    throw;
  }
}

bool ExtractArchive(const TPath& archivePath, const TPath& targetDir) {
  std::string ignored;
  return ExtractArchive(archivePath, targetDir, ignored);
}

bool ExtractArchive(const TPath& archivePath, const TPath& targetDir, std::string& error) {
  try {
    UnpackArchiveFile(archivePath, targetDir);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  return false;
}
