#pragma once
// The payload archive reader: unpacks every entry of an archive file into a folder.
#include <cstdint>
#include <functional>
#include <string>

/// Told the bytes of the archive read so far, as the unpacking goes on.
using TUnpackProgress = std::function<void(std::int64_t archiveBytesRead)>;

/// Unpacks every entry of the archive at archivePath into targetDir (created with its parents
/// if missing). Stops at the first failure by raising it, leaving the entries before it
/// intact; with removePartial, what it wrote of the failing one is removed (a file it could
/// not create is left as it was). The error keeps its type; when it happened while an entry
/// was written, its message starts with the entry's name in quotes ("\"instTQ.exe\": Stream
/// read error"). `progress` is told how far the archive has been read.
void UnpackArchiveFile(const std::string& archivePath, const std::string& targetDir,
                       const TUnpackProgress& progress = nullptr, bool removePartial = false);
/// The same, never raising: true only when every entry was written whole.
bool ExtractArchive(const std::string& archivePath, const std::string& targetDir);
/// The same, giving the failure's message in `error` (the vendor's tool prints it).
bool ExtractArchive(const std::string& archivePath, const std::string& targetDir, std::string& error);
