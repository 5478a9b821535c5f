#pragma once
// The payload archive reader: unpacks every entry of an archive file into a folder.
#include <string>

/// Unpacks every entry of the archive at archivePath into targetDir (created with its
/// parents if missing). Never raises. True only when every entry was written whole; on the
/// first failure it stops, leaving the entries before it intact.
bool ExtractArchive(const std::string& archivePath, const std::string& targetDir);
/// The same, giving the reason of a failure in `error` (the entry's name, then the message).
bool ExtractArchive(const std::string& archivePath, const std::string& targetDir, std::string& error);
/// The same, raising what stopped it: EFileError (EFOpenError, EFCreateError) for a file that
/// could not be opened or created, else the archive's or the decompressor's error. `entry`
/// holds the name of the entry being unpacked then (empty before the first).
void ExtractArchiveOrRaise(const std::string& archivePath, const std::string& targetDir, std::string& entry);
