#include "archive/ArchiveFormat.h"

#include <cstring>

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 and the console names open a device, not a file, even with
// an extension or trailing blanks before it ("nul.txt", "COM1 .log").
bool IsDeviceName(const std::string& component) {
  std::string base = UpperCase(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

bool IsSafeComponent(const std::string& c) {
  if (c.empty()) return false;                           // "a//b", a trailing separator
  if (c.back() == '.' || c.back() == ' ') return false;  // ".", "..", "name." and "name "
  return !IsDeviceName(c);
}
}  // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name.size() > static_cast<std::size_t>(kMaxEntryNameLength)) return false;
  // Character by character in code page 936, the names' own on every system (never the
  // system's): the trail byte of a double-byte character may have the value of a separator or
  // of "|" and is neither.
  std::size_t start = 0;  // of the current component
  for (std::size_t i = 0; i < name.size(); i += ProgramCharLength(name, i)) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == 127) return false;
    // ':' covers drive letters and alternate data streams; the rest are never part of a
    // Windows file name ('?' also starts the "\\?\" prefix).
    if (std::strchr(":*?\"<>|", c)) return false;
    if (!IsSeparator(name[i])) continue;
    // A separator first means a rooted, UNC or device path: its empty component is refused.
    if (!IsSafeComponent(name.substr(start, i - start))) return false;
    start = i + 1;
  }
  return IsSafeComponent(name.substr(start));
}

std::string EntryNameKey(const std::string& name) {
  std::string key = platform::FileNameKey(platform::PathFromText(name));
  // In the platform's form a byte below 0x80 is that character, never part of another.
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

void PutInt32(std::string& out, std::int32_t value) {
  auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

std::int32_t GetInt32(const unsigned char* b) {
  std::uint32_t u = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                    static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return static_cast<std::int32_t>(u);
}
