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

/// Longest entry name read. Windows' ANSI file functions take at most 260 characters of path,
/// so a longer name can only be hostile; the cap keeps a bad length from a huge allocation.
constexpr std::int32_t kMaxEntryNameLength = 1024;

/// True when an entry name names a plain file at or below the target folder on Windows and on
/// Linux: relative, no drive, stream or UNC prefix, no "." or ".." component, no device name,
/// no component ending in a dot or blank, no control characters or wildcards.
bool IsSafeEntryName(const std::string& name);

/// Little-endian 32-bit integer, as the archive stores it.
void PutInt32(std::string& out, std::int32_t value);
std::int32_t GetInt32(const unsigned char* bytes);
