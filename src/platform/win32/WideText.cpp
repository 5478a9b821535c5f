// Code page conversions to and from the system's wide form (platform/WideText.h).
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

std::string FromWide(const wchar_t* wide, int count, unsigned codePage) {
  if (count < 0) count = static_cast<int>(wcslen(wide));
  if (count == 0) return std::string();
  const int size = WideCharToMultiByte(codePage, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide, count, &bytes[0], size, nullptr, nullptr);
  return bytes;
}

std::string FromWide(const std::wstring& wide, unsigned codePage) {
  return FromWide(wide.data(), static_cast<int>(wide.size()), codePage);
}

std::string PathText(const std::string& path) { return FromWide(PathToWide(path), kProgramCodePage); }

std::string PathFromText(const std::string& text) { return PathFromWide(TextToWide(text)); }

std::string TextToUtf8(const std::string& text) { return FromWide(TextToWide(text), kUtf8CodePage); }

unsigned AnsiCodePage() { return GetACP(); }

bool IsLeadByte(unsigned codePage, unsigned char byte) { return IsDBCSLeadByteEx(codePage, byte) != FALSE; }

}  // namespace platform
