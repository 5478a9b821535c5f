#pragma once
// The JSON that setupkit's --json outputs share: one object per run, its members one a line,
// keys in snake_case, a missing value null, texts as the characters a user sees (UTF-8 output,
// any control character escaped).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// A text of the program (code page 936: names, settings) as a JSON string of its characters.
std::string JsonText(const std::string& text);
/// A path as the system names it (UTF-8 on Windows; on Linux the file system's bytes, taken as
/// UTF-8), or a message of the tool's in that form, as a JSON string; a byte that is no UTF-8
/// becomes U+FFFD.
std::string JsonPath(const std::string& path);
inline std::string JsonBool(bool value) { return value ? "true" : "false"; }
inline std::string JsonNumber(std::int64_t value) { return std::to_string(value); }

using TJsonMembers = std::vector<std::pair<std::string, std::string>>;
/// An object of rendered values; `lines`: one member a line (nested lines indented).
std::string JsonObject(const TJsonMembers& members, bool lines = false);
std::string JsonArray(const std::vector<std::string>& items, bool lines = false);
