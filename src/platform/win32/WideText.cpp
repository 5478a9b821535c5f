// Code page conversions to and from the system's wide form (platform/WideText.h), and the
// conversions between paths and texts (platform/Text.h).
#include "platform/WideText.h"

#include <windows.h>

namespace platform {

std::wstring ToWide(const std::string& bytes, unsigned codePage) {
  if (bytes.empty()) return std::wstring();
  const int n = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), n, &wide[0], size);
  return wide;
}

namespace {
/// UTF-16 as bytes of codePage. Without best fit: a character the code page has not becomes
/// its default character ("?"), never a look-alike; `lost` tells whether that happened.
std::string Narrow(const wchar_t* wide, int count, unsigned codePage, bool* lost) {
  if (count < 0) count = static_cast<int>(wcslen(wide));
  if (count == 0) return std::string();
  const bool utf8 = codePage == kUtf8CodePage;  // takes no flags and has every character
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(codePage, flags, wide, count, nullptr, 0, nullptr, used);
  if (size <= 0) {
    if (lost) *lost = true;
    return std::string();
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide, count, &bytes[0], size, nullptr, used);
  if (lost) *lost = usedDefault != FALSE;
  return bytes;
}
}  // namespace

std::string FromWide(const wchar_t* wide, int count, unsigned codePage) {
  return Narrow(wide, count, codePage, nullptr);
}

std::string FromWide(const std::wstring& wide, unsigned codePage) {
  return FromWide(wide.data(), static_cast<int>(wide.size()), codePage);
}

TText PathText(const TPath& path) { return TText(FromWide(PathToWide(path), kProgramCodePage)); }

bool PathTextExact(const TPath& path, TText& text) {
  const std::wstring wide = PathToWide(path);
  bool lost = false;
  std::string bytes = Narrow(wide.data(), static_cast<int>(wide.size()), kProgramCodePage, &lost);
  if (lost || (bytes.empty() && !path.Empty())) return false;
  text = TText(bytes);
  return true;
}

TPath PathFromText(const TText& text) { return PathFromWide(TextToWide(text)); }

std::string FileNameKey(const TPath& name) {
  std::wstring wide = PathToWide(name);
  if (wide.empty()) return std::string();
  // The invariant locale's upper case: the system's table, not a language's rules.
  std::wstring upper(wide.size(), L'\0');
  const int n = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()), &upper[0],
                             static_cast<int>(upper.size()));
  if (n > 0) wide.assign(upper.data(), static_cast<std::size_t>(n));
  return FromWide(wide, kUtf8CodePage);
}

std::wstring MessageToWide(const TDisplayText& message) {
  std::wstring wide;
  for (const auto& part : message.Parts()) wide += ToWide(part.bytes, part.native ? kUtf8CodePage : kProgramCodePage);
  return wide;
}

TText MessageText(const TDisplayText& message) { return TText(FromWide(MessageToWide(message), kProgramCodePage)); }

std::string MessageNative(const TDisplayText& message) { return FromWide(MessageToWide(message), kUtf8CodePage); }

unsigned AnsiCodePage() { return GetACP(); }

bool IsLeadByte(unsigned codePage, unsigned char byte) { return IsDBCSLeadByteEx(codePage, byte) != FALSE; }

}  // namespace platform
