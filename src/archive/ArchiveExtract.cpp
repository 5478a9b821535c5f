#include "archive/ArchiveExtract.h"

#include "archive/ArchiveReader.h"
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"

void UnpackArchiveFile(const TPath& archivePath, const TPath& targetDir) {
  // An empty folder would put the files in the root of the current drive.
  if (targetDir.Empty()) throw EArchiveError("No target folder given");
  ForceDirectories(targetDir);  // a failure shows when the first file is created
  TPath prefix = targetDir;
  if (LastDelimiter(PathDelimiters(), prefix.Native()) != prefix.Native().size() - 1)
    prefix = prefix + platform::PathDelim();

  TFileStream archive(archivePath, platform::FileAccess::Read, platform::FileShare::None,
                      platform::FileCreate::OpenExisting);
  std::string entry;
  try {
    UnpackArchive(
        archive,
        [&prefix](const TArchiveEntry& e) {
          // The name is a text of the program (code page 936); the folder a path.
          LogText("unpacking " + e.name + ", " + std::to_string(e.size) + " bytes");
          return std::make_unique<TFileStream>(prefix + platform::PathFromText(e.name), platform::FileAccess::ReadWrite,
                                               platform::FileShare::None, platform::FileCreate::CreateAlways);
        },
        &entry);
  } catch (Exception& e) {
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
