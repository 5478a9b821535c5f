#pragma once
// Windows build only (implemented in platform/win32): texts to and from the system's wide
// (UTF-16) form, the one place where code pages are converted. The program's own texts are
// code page 936 (kProgramCodePage); paths are UTF-8 (platform/Text.h).
#include <string>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace platform {

constexpr unsigned kUtf8CodePage = 65001;

/// Bytes of `codePage` as UTF-16; a byte sequence the code page has no character for becomes
/// the system's default character (U+FFFD for UTF-8).
std::wstring ToWide(const std::string& bytes, unsigned codePage);
/// UTF-16 as bytes of `codePage`; a character the code page has not becomes "?".
std::string FromWide(const std::wstring& wide, unsigned codePage);
/// The first `count` UTF-16 units at `wide` (up to the terminator when count is -1).
std::string FromWide(const wchar_t* wide, int count, unsigned codePage);

/// A text of the program as the wide calls take it.
inline std::wstring TextToWide(const TText& text) { return ToWide(text.Bytes(), kProgramCodePage); }
/// A path as the wide calls take it, and back.
inline std::wstring PathToWide(const TPath& path) { return ToWide(path.Native(), kUtf8CodePage); }
inline TPath PathFromWide(const std::wstring& wide) { return TPath::FromNative(FromWide(wide, kUtf8CodePage)); }
/// A path as the file functions take it: a full path longer than the system's classic limit
/// (MAX_PATH) gets the "\\?\" form ("\\?\UNC\" for a share), with its "/" turned into "\",
/// so that a folder of any length the file system allows can be used.
std::wstring FilePathToWide(const TPath& path);
/// The message composed in UTF-16: every part, ours and the system's, in full.
std::wstring MessageToWide(const TDisplayText& message);

}  // namespace platform
