#include "net/http/IdAuthentication.h"

#include "base/SysUtils.h"
#include "net/http/IdCoderMIME.h"
#include "net/http/IdGlobal.h"
#include "platform/Sspi.h"

TIdAuthWhatsNext TIdBasicAuthentication::Next() {
  if (CurrentStep >= Steps()) return wnFail;
  ++CurrentStep;
  return Username.empty() ? wnAskTheProgram : wnDoRequest;
}

std::string TIdBasicAuthentication::Authentication() { return "Basic " + EncodeBase64(Username + ":" + Password); }

TIdSSPIAuthentication::TIdSSPIAuthentication(const std::string& scheme, const std::string& target)
    : TIdSSPIAuthentication(scheme, [scheme, target]() -> TTokenSource {
        // Not make_shared, as in IdHostLookup.cpp: it would link the runtime's shared_ptr support.
        std::shared_ptr<platform::SspiClient> client(new platform::SspiClient(scheme, target));
        return [client](const std::string& input, std::string& output, std::string& error) {
          if (client->Step(input, output)) return true;
          error = client->Error();
          return false;
        };
      }) {}

TIdSSPIAuthentication::TIdSSPIAuthentication(const std::string& scheme, std::function<TTokenSource()> restart)
    : scheme_(scheme), restart_(std::move(restart)), source_(restart_()) {}

TIdAuthWhatsNext TIdSSPIAuthentication::Next() {
  std::string challenge;
  for (const std::string& value : AuthParams) {
    std::string rest = value;
    if (SameText(FetchToken(rest, " "), scheme_)) {
      challenge = Trim(rest);
      break;
    }
  }
  if (CurrentStep >= Steps()) {
    Error = scheme_ + ": no sign-in after " + std::to_string(Steps()) + " exchanges";
    return wnFail;
  }
  if (CurrentStep > 0 && challenge.empty()) {
    Error = scheme_ + ": the proxy refused the user's credentials";
    return wnFail;
  }
  if (!source_(DecodeBase64(challenge), token_, Error) || token_.empty()) {
    if (Error.empty()) Error = scheme_ + ": nothing to send";
    return wnFail;
  }
  ++CurrentStep;
  return wnDoRequest;
}

std::string TIdSSPIAuthentication::Authentication() {
  if (token_.empty()) return "";
  const std::string value = scheme_ + " " + EncodeBase64(token_);
  token_.clear();
  return value;
}

void TIdSSPIAuthentication::Reset() {
  if (CurrentStep > 0) source_ = restart_();
  CurrentStep = 0;
  token_.clear();
}

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
