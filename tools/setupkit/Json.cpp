#include "Json.h"

#include <cstdio>

#include "platform/Platform.h"

namespace {

std::string JsonUtf8(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t character = 0;
    const std::size_t n = Utf8CharAt(s, i, character);
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
