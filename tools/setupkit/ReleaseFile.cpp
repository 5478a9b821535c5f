#include "ReleaseFile.h"

#include <cctype>
#include <map>

#include "LauncherFile.h"

TReleaseFile ParseReleaseFile(const std::string& text) {
  // Each set(NAME "value" ...) with its quoted values; a later set() of a name wins, as in CMake.
  std::map<std::string, std::vector<std::string>> values;
  std::size_t at = 0;
  auto skipBlanks = [&] {
    while (at < text.size()) {
      if (text[at] == '#') {
        while (at < text.size() && text[at] != '\n') ++at;
      } else if (static_cast<unsigned char>(text[at]) <= ' ') {
        ++at;
      } else {
        break;
      }
    }
  };
  while (at < text.size()) {
    skipBlanks();
    if (text.compare(at, 4, "set(") != 0) {
      while (at < text.size() && text[at] != '\n') ++at;  // any other command: not ours
      continue;
    }
    at += 4;
    skipBlanks();
    std::string name;
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_'))
      name += text[at++];
    std::vector<std::string> list;
    for (skipBlanks(); at < text.size() && text[at] == '"'; skipBlanks()) {
      const std::size_t end = text.find('"', at + 1);
      if (end == std::string::npos) throw EReleaseFileError("an unterminated quoted value in set(" + name);
      list.push_back(text.substr(at + 1, end - at - 1));
      at = end + 1;
    }
    values[name] = list;
  }
  auto one = [&values](const char* name) {
    const auto found = values.find(name);
    if (found == values.end() || found->second.size() != 1)
      throw EReleaseFileError(std::string("no set(") + name + " \"...\")");
    return found->second[0];
  };
  TReleaseFile out;
  out.productCode = one("SETUPTQ_PRODUCT_CODE");
  out.version = one("SETUPTQ_PRODUCT_VERSION");
  out.homePage = one("SETUPTQ_HOME_PAGE");
  // Optional: a release without them starts its installer with nothing added.
  if (values.count("SETUPTQ_INSTALLER_QUIET")) out.quietArguments = one("SETUPTQ_INSTALLER_QUIET");
  if (values.count("SETUPTQ_INSTALLER_NORESTART")) out.noRestartArgument = one("SETUPTQ_INSTALLER_NORESTART");
  const auto mirrors = values.find("SETUPTQ_MIRRORS");
  if (mirrors == values.end() || mirrors->second.empty())
    throw EReleaseFileError("no set(SETUPTQ_MIRRORS \"...\" ...)");
  out.mirrors = mirrors->second;
  return out;
}

TReleaseFile ReadReleaseFile(const std::string& path) {
  // A release.cmake is a page of set() calls; anything this large is another file.
  constexpr std::int64_t kMaxReleaseFileSize = 64 * 1024;
  auto file = OpenRead(path);
  if (file->Size() > kMaxReleaseFileSize) throw EReleaseFileError(path + " is too large to be a release.cmake");
  std::string text(static_cast<std::size_t>(file->Size()), '\0');
  if (!text.empty()) file->ReadBuffer(&text[0], static_cast<int>(text.size()));
  try {
    return ParseReleaseFile(text);
  } catch (const EReleaseFileError& e) {
    throw EReleaseFileError(path + ": " + e.Message());
  }
}
