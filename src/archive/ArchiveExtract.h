#pragma once
// The payload archive reader: unpacks every entry of an archive file into a folder.
#include <string>

#include "platform/Text.h"

/// Unpacks every entry of the archive at archivePath into targetDir (created with its parents
/// if missing). Stops at the first failure by raising it, leaving the entries before it
/// intact. The error keeps its type; when it happened while an entry was written, its message
/// starts with the entry's name in quotes ("\"instTQ.exe\": Stream read error").
void UnpackArchiveFile(const TPath& archivePath, const TPath& targetDir);
/// The same, never raising: true only when every entry was written whole.
bool ExtractArchive(const TPath& archivePath, const TPath& targetDir);
/// The same, giving the failure's message in `error` (the vendor's tool prints it).
bool ExtractArchive(const TPath& archivePath, const TPath& targetDir, std::string& error);
