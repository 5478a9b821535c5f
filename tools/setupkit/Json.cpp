#include "Json.h"

#include <cstdio>

#include "platform/Platform.h"

namespace {

// The length of the UTF-8 sequence at s[i], or 0 when none begins there (overlong forms,
// surrogates and values past U+10FFFF included).
std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (t & 0x3F);
  }
  static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

std::string JsonUtf8(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t n = Utf8Length(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out + "\"";
}

std::string Indented(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\n  ") : std::string(1, c);
  return out;
}

std::string Join(const std::vector<std::string>& parts, char open, char close, bool lines) {
  if (parts.empty()) return std::string(1, open) + close;
  std::string out(1, open);
  for (std::size_t i = 0; i < parts.size(); ++i)
    out += (i ? "," : "") + std::string(lines ? "\n  " : i ? " " : "") + (lines ? Indented(parts[i]) : parts[i]);
  return out + (lines ? "\n" : "") + close;
}

}  // namespace

// A text of the program in UTF-8: the platform's form of a message (a byte sequence code page
// 936 has no character for becomes a replacement character).
std::string JsonText(const std::string& text) { return JsonUtf8(platform::MessageNative(TText(text))); }

std::string JsonPath(const std::string& path) { return JsonUtf8(path); }

std::string JsonObject(const TJsonMembers& members, bool lines) {
  std::vector<std::string> parts;
  for (const auto& [key, value] : members) parts.push_back("\"" + key + "\": " + value);
  return Join(parts, '{', '}', lines);
}

std::string JsonArray(const std::vector<std::string>& items, bool lines) { return Join(items, '[', ']', lines); }
