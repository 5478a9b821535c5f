#pragma once
// The payload archive reader: unpacks every entry of an archive file into a folder.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/ArchiveFormat.h"
#include "base/Classes.h"
#include "platform/Text.h"

/// Told the bytes of the archive read so far, as the unpacking goes on.
using TUnpackProgress = std::function<void(std::int64_t archiveBytesRead)>;

/// Unpacks every entry of the archive at archivePath into targetDir (created with its parents
/// if missing). Stops at the first failure by raising it, leaving the entries before it
/// intact; with removePartial, what it wrote of the failing one is removed (a file it could
/// not create is left as it was). The error keeps its type; when it happened while an entry
/// was written, its message starts with the entry's name in quotes ("\"instTQ.exe\": Stream
/// read error"). `progress` is told how far the archive has been read.
void UnpackArchiveFile(const TPath& archivePath, const TPath& targetDir, const TUnpackProgress& progress = nullptr,
                       bool removePartial = false);
/// The same, never raising: true only when every entry was written whole.
bool ExtractArchive(const TPath& archivePath, const TPath& targetDir);
/// The same, giving the failure's message in `error` (the vendor's tool prints it).
bool ExtractArchive(const TPath& archivePath, const TPath& targetDir, std::string& error);

/// Unpacks every entry of `archive` (from its current position) into targetDir in one pass, all
/// or nothing: each entry is inflated and checked into a temporary beside its target, and only
/// when every entry is whole are the temporaries renamed onto their targets; on a failure
/// every temporary is removed, and so are the folders of targetDir that this call made.
/// Folders below targetDir are opened one component at a time without following a link and
/// held open until the end; an entry's folder must exist. Refused with ETargetRefused, before
/// anything of the user's is touched: two entries Windows takes for one file, a target that is
/// a link, a folder or anything but a plain file, and a target that is the file archivePath
/// (when given). An entry's failure keeps its type and is prefixed with the entry's name; a
/// write error (EWriteError) names the file and the system's reason. Returns the entries.
SETUPTQ_EXCEPTION(ETargetRefused, EArchiveError);
std::int32_t ExtractArchiveWhole(TStream& archive, const TPath& targetDir, const TPath& archivePath = TPath());
