#include "codes/ShareCodeCheckunit.h"

#include "base/SysUtils.h"
#include "codes/QORMD5Unit.h"
#include "platform/Platform.h"

std::unique_ptr<TShareCode> ShareCode;

namespace {
// The escapes that let a reply sit in a web page, in the order the decoder undoes them.
struct Escape {
  const char* escaped;
  const char* plain;
};
constexpr Escape kEscapes[] = {
    {"\\<\\?", "<?"}, {"\\?\\>", "?>"}, {"\\<\\%", "<%"}, {"\\%\\>", "%>"}, {"\\$", "$"},
};

// A fingerprint's text: an MD5 in lower-case hexadecimal.
constexpr std::size_t kFingerprintDigits = 32;

std::string Unescaped(const std::string& reply) {
  std::string text = reply;
  for (const Escape& e : kEscapes) text = StringReplaceAll(text, e.escaped, e.plain);
  return text;
}
}  // namespace

void TShareCode::SetCodeKey() {
  CodeKey.Multiplier = 0x0011;
  CodeKey.Increment = 0x002E;
  CodeKey.Seed = 0x0052;
}

void TShareCode::LoadExeMD5() { LoadExeMD5From(platform::ModuleFileName()); }

void TShareCode::LoadExeMD5From(const TPath& path) { ExeMD5 = Trim(LowerCase(GetFileMD5(path))); }

std::string TShareCode::DecodeReply(const std::string& reply) {
  ServerCode = UnscrambleText(Unescaped(reply), CodeKey);
  return ServerCode;
}

bool TShareCode::CodeMatches() const {
  const std::string own = Trim(ExeMD5);
  if (own.empty()) return false;
  return own == Trim(ServerCode);
}

bool TShareCode::IsMirrorAnswer(const std::string& body) const {
  const std::string code = Trim(UnscrambleText(Unescaped(Trim(LowerCase(body))), CodeKey));
  if (code.size() != kFingerprintDigits) return false;
  for (char c : code)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool TShareCode::ReplyMatches(const std::string& body) {
  DecodeReply(Trim(LowerCase(body)));
  return CodeMatches();
}

std::string TShareCode::EncodeReply(const std::string& fingerprint) const {
  // Escaping runs in the reverse order of the decoder's passes, "$" first, so that no escape
  // written here is taken apart by a later one.
  std::string text = ScrambleText(fingerprint, CodeKey);
  for (int i = static_cast<int>(sizeof kEscapes / sizeof kEscapes[0]) - 1; i >= 0; --i)
    text = StringReplaceAll(text, kEscapes[i].plain, kEscapes[i].escaped);
  return text;
}

void InitShareCode() {
  if (!ShareCode) ShareCode = std::make_unique<TShareCode>();
  ShareCode->SetCodeKey();
  ShareCode->LoadExeMD5();
}
