#pragma once
// The payload archive: a count, then the entries back to back. Every integer is 32-bit signed
// little-endian; there is no magic, no index and no checksum over the whole file.
//
//   offset  size  field
//   0       4     entry count (0 or less: no entries)
//   4       ...   entries
//
//   entry:  0     4     name length N
//           4     N     name, code page 936 bytes on every system, relative to the target folder
//           4+N   4     size: uncompressed length
//           8+N   ...   one complete zlib stream inflating to exactly `size` bytes
//
// The compressed length is recorded nowhere: an entry ends where its zlib stream ends.
#include <cstdint>
#include <string>

#include "base/SysUtils.h"

/// A malformed archive or a refused entry (our own checks; zlib and file errors keep theirs).
SETUPTQ_EXCEPTION(EArchiveError, Exception);
/// A file name an archive cannot take: one code page 936 cannot hold, or one that would be the
/// same file on Windows as another entry's.
SETUPTQ_EXCEPTION(ENameRefused, EArchiveError);

/// Longest entry name read. Windows' ANSI file functions take at most 260 characters of path,
/// so a longer name can only be hostile; the cap keeps a bad length from a huge allocation.
constexpr std::int32_t kMaxEntryNameLength = 1024;

/// True when an entry name names a plain file at or below the target folder on Windows and on
/// Linux: relative, no drive, stream or UNC prefix, no "." or ".." component, no device name,
/// no component ending in a dot or blank, no control characters or wildcards.
bool IsSafeEntryName(const std::string& name);

/// An entry name (code page 936) as Windows tells files apart: its characters decoded, then
/// upper-cased as the file system compares them (platform::FileNameKey), with "/" for "\\".
/// Two entries of one key would be one file on Windows: "\xD0\xA4.txt" and "\xD0\xC4.txt" (Д and
/// д), but not 進 and 適 ("\xDF\x4D", "\xDF\x6D"), whose trail bytes only look like "M" and "m".
/// In the platform's form, so that a path's last component compares with it through the same
/// key (platform::FileNameKey).
std::string EntryNameKey(const std::string& name);
/// Whether two entry names are one file on Windows (EntryNameKey).
inline bool SameEntryName(const std::string& a, const std::string& b) { return EntryNameKey(a) == EntryNameKey(b); }

/// Little-endian 32-bit integer, as the archive stores it.
void PutInt32(std::string& out, std::int32_t value);
std::int32_t GetInt32(const unsigned char* bytes);
