#include "net/http/IdAuthentication.h"

#include "base/SysUtils.h"
#include "net/http/IdCoderMIME.h"

TIdAuthWhatsNext TIdBasicAuthentication::Next() {
  if (CurrentStep >= Steps()) return wnFail;
  ++CurrentStep;
  return Username.empty() ? wnAskTheProgram : wnDoRequest;
}

std::string TIdBasicAuthentication::Authentication() { return "Basic " + EncodeBase64(Username + ":" + Password); }

TIdAuthSchemeRegistry::TIdAuthSchemeRegistry() {
  Register("Basic", [] { return std::unique_ptr<TIdAuthentication>(new TIdBasicAuthentication); });
}

void TIdAuthSchemeRegistry::Register(const std::string& scheme, TIdAuthenticationFactory factory) {
  entries_.emplace_back(scheme, std::move(factory));
}

TIdAuthenticationFactory TIdAuthSchemeRegistry::Find(const std::string& scheme) const {
  for (const auto& e : entries_)
    if (UpperCase(e.first) == UpperCase(scheme)) return e.second;
  return nullptr;
}

TIdAuthSchemeRegistry& AuthSchemeRegistry() {
  static TIdAuthSchemeRegistry registry;
  return registry;
}
