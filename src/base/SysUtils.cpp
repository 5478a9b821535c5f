#include "base/SysUtils.h"

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

namespace {
bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string TrimLeft(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && Blank(s[b])) ++b;
  return s.substr(b);
}

std::string TrimRight(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && Blank(s[e - 1])) --e;
  return s.substr(0, e);
}

std::string Trim(const std::string& s) { return TrimRight(TrimLeft(s)); }

std::string LowerCase(const std::string& s) {
  std::string r = s;
  for (auto& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (auto& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string StringReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  std::string r;
  size_t pos = 0;
  for (;;) {
    size_t hit = s.find(from, pos);
    if (hit == std::string::npos) break;
    r.append(s, pos, hit - pos);
    r += to;
    pos = hit + from.size();
  }
  r.append(s, pos, std::string::npos);
  return r;
}

std::string IntToStrZeroPadded(int value, int width) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -static_cast<long long>(value) : value);
  const int pad = width - static_cast<int>(digits.size()) - (negative ? 1 : 0);
  if (pad > 0) digits.insert(0, static_cast<size_t>(pad), '0');
  return negative ? "-" + digits : digits;
}

std::string FloatToStrFixed(double value, int decimals) {
  unsigned long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const bool negative = value < 0;
  const unsigned long long units = static_cast<unsigned long long>((negative ? -value : value) * scale + 0.5);
  std::string text = std::to_string(units / scale);
  if (decimals > 0) text += "." + IntToStrZeroPadded(static_cast<int>(units % scale), decimals);
  return negative ? "-" + text : text;
}

std::string ErrorBoxText(const std::string& message) {
  // The last character, stepping through the text as code page 936 whatever the system's code
  // page: the program's own texts are in it. A lead byte 0x81-0xFE with a trail byte 0x40-0xFE
  // (not 0x7F) is one character.
  std::size_t last = 0;
  for (std::size_t i = 0; i < message.size();) {
    last = i;
    const auto lead = static_cast<unsigned char>(message[i]);
    const auto trail = i + 1 < message.size() ? static_cast<unsigned char>(message[i + 1]) : 0u;
    i += lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
  }
  if (message.empty() || message.size() - last == 2) return message;
  return static_cast<unsigned char>(message.back()) > '.' ? message + "." : message;
}

TDisplayText ErrorBoxMessage(const TDisplayText& message) {
  if (message.Empty()) return message;
  const TDisplayText::TPart& last = message.Parts().back();
  if (!last.native) {
    const std::string closed = ErrorBoxText(last.bytes);
    return closed.size() == last.bytes.size() ? message : message + ".";
  }
  const auto end = static_cast<unsigned char>(last.bytes.back());
  return end < 0x80 && end > '.' ? message + "." : message;
}

namespace {
unsigned& TextCodePageState() {
  static unsigned codePage = platform::AnsiCodePage();
  return codePage;
}
}  // namespace

unsigned TextCodePage() { return TextCodePageState(); }
void SetTextCodePage(unsigned codePage) { TextCodePageState() = codePage; }

std::size_t CharLengthIn(unsigned codePage, const std::string& s, std::size_t i) {
  if (i + 1 >= s.size()) return 1;
  const auto lead = static_cast<unsigned char>(s[i]), trail = static_cast<unsigned char>(s[i + 1]);
  return platform::IsLeadByte(codePage, lead) && trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

std::size_t CharLength(const std::string& s, std::size_t i) { return CharLengthIn(TextCodePage(), s, i); }

std::size_t ProgramCharLength(const std::string& s, std::size_t i) {
  return CharLengthIn(platform::kProgramCodePage, s, i);
}

std::size_t LastDelimiter(const std::string& delimiters, const std::string& s) { return s.find_last_of(delimiters); }

TPath ExtractFilePath(const TPath& path) {
  const std::size_t cut = LastDelimiter("\\/:", path.Native());
  return TPath::FromNative(cut == std::string::npos ? std::string() : path.Native().substr(0, cut + 1));
}

const char* PathDelimiters() { return platform::PathDelim() == '\\' ? "\\/" : "/"; }

bool ForceDirectories(const TPath& path, TForcedFolders& forced) {
  const bool windows = platform::PathDelim() == '\\';
  const char* const delimiters = PathDelimiters();
  std::string p = path.Native();
  for (std::size_t cut; p.size() > 1 && (cut = LastDelimiter(delimiters, p)) == p.size() - 1;) p.resize(cut);
  if (p.empty()) return false;
  if (platform::DirectoryExists(TPath::FromNative(p))) return true;
  const std::size_t cut = LastDelimiter(delimiters, p);
  // A drive's root ("C:\\") is there or not; it is never made.
  const bool parent = cut != std::string::npos && cut > 0 && !(windows && p[cut - 1] == ':');
  if (parent && !ForceDirectories(TPath::FromNative(p.substr(0, cut)), forced)) return false;
  const TPath folder = TPath::FromNative(p);
  if (platform::MakeDirectory(folder)) {
    forced.made.push_back(folder);
    return true;
  }
  const int error = platform::LastFileError();
  if (platform::DirectoryExists(folder)) return true;  // made by another meanwhile
  forced.failed = folder;
  forced.error = error;
  return false;
}

bool ForceDirectories(const TPath& path) {
  TForcedFolders forced;
  return ForceDirectories(path, forced);
}

TNewFolders::~TNewFolders() {
  for (std::size_t i = forced_.made.size(); i-- > 0;)
    if (!kept_) platform::RemoveEmptyDirectory(forced_.made[i]);
  for (int slot : slots_) platform::UnregisterTemporary(slot);
}

bool TNewFolders::Make(const TPath& path) {
  const std::size_t before = forced_.made.size();
  forced_.failed = TPath();
  forced_.error = 0;
  const bool made = ForceDirectories(path, forced_);
  for (std::size_t i = before; i < forced_.made.size(); ++i)
    slots_.push_back(platform::RegisterTemporary(forced_.made[i]));
  if (!made && forced_.failed.Empty()) forced_.failed = path;
  return made;
}

namespace {
constexpr const char* kTemporaryEnd = ".tmp";
constexpr std::size_t kTagDigits = 8;
constexpr const char* kTagAlphabet = "0123456789abcdef";  // the tag in lower-case hexadecimal
// The longest file name the file systems take (255 bytes on Linux; 255 UTF-16 units on
// Windows, never fewer than 255 bytes of UTF-8), less the temporary's own characters.
constexpr std::size_t kLongestKeptName = 255 - (2 + kTagDigits + 4);
}  // namespace

std::string TemporaryNameFor(const std::string& name, unsigned tag) {
  std::size_t keep = name.size();
  if (keep > kLongestKeptName) {
    keep = kLongestKeptName;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;  // a UTF-8 character whole
  }
  // Not printf: its runtime is no part of the launcher.
  std::string hex(kTagDigits, '0');
  for (std::size_t i = kTagDigits; i-- > 0; tag >>= 4) hex[i] = kTagAlphabet[tag & 15];
  return "." + name.substr(0, keep) + "." + hex + kTemporaryEnd;
}

void RemoveStaleTemporaries(const platform::Folder& folder) {
  const std::size_t end = std::strlen(kTemporaryEnd), least = 2 + kTagDigits + end;
  for (const std::string& name : platform::FileNamesIn(folder.Path())) {
    if (name.size() < least || name[0] != '.' || name.compare(name.size() - end, end, kTemporaryEnd) != 0) continue;
    const std::size_t dot = name.size() - end - kTagDigits - 1;
    if (name[dot] != '.' || name.find_first_not_of(kTagAlphabet, dot + 1) != name.size() - end) continue;
    folder.RemoveUnused(name, kStaleTemporarySeconds);
  }
}
