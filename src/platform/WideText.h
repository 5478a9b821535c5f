#pragma once
// Windows build only (implemented in platform/win32): texts to and from the system's wide
// (UTF-16) form, the one place where code pages are converted. The program's own texts are
// code page 936 (kProgramCodePage); paths are UTF-8 (see Platform.h).
#include <string>

#include "platform/Platform.h"

namespace platform {

constexpr unsigned kUtf8CodePage = 65001;

/// Bytes of `codePage` as UTF-16; a byte sequence the code page has no character for becomes
/// the system's default character.
std::wstring ToWide(const std::string& bytes, unsigned codePage);
/// UTF-16 as bytes of `codePage`; a character the code page has not becomes "?".
std::string FromWide(const std::wstring& wide, unsigned codePage);
/// The first `count` UTF-16 units at `wide` (up to the terminator when count is -1).
std::string FromWide(const wchar_t* wide, int count, unsigned codePage);

/// A text of the program as the wide calls take it.
inline std::wstring TextToWide(const std::string& text) { return ToWide(text, kProgramCodePage); }
/// A path (UTF-8) as the wide calls take it, and back.
inline std::wstring PathToWide(const std::string& path) { return ToWide(path, kUtf8CodePage); }
inline std::string PathFromWide(const std::wstring& wide) { return FromWide(wide, kUtf8CodePage); }

}  // namespace platform
