#pragma once
// Authorization schemes: the credentials object a request carries, the Basic scheme, and the
// process-wide registry that maps a scheme word ("Basic") to the class that answers it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TIdAuthWhatsNext { wnAskTheProgram, wnDoRequest, wnFail };

class TIdAuthentication {
 public:
  virtual ~TIdAuthentication() = default;
  /// The scheme word this class answers ("Basic").
  virtual std::string Scheme() const = 0;
  /// How many exchanges the scheme needs.
  virtual int Steps() const = 0;
  /// Moves to the next step and says what the exchange should do.
  virtual TIdAuthWhatsNext Next() = 0;
  /// The value of the "Authorization" header for the current step.
  virtual std::string Authentication() = 0;
  virtual void Reset() { CurrentStep = 0; }

  std::string Username, Password;
  /// The server's challenge values for this scheme (WWW-Authenticate / Proxy-Authenticate).
  std::vector<std::string> AuthParams;
  int CurrentStep = 0;
};

class TIdBasicAuthentication : public TIdAuthentication {
 public:
  std::string Scheme() const override { return "Basic"; }
  int Steps() const override { return 1; }
  TIdAuthWhatsNext Next() override;
  /// "Basic " + Base64 of user ":" password.
  std::string Authentication() override;
};

using TIdAuthenticationFactory = std::function<std::unique_ptr<TIdAuthentication>()>;

/// Scheme words and the classes that implement them; "Basic" is registered from the start.
class TIdAuthSchemeRegistry {
 public:
  TIdAuthSchemeRegistry();
  void Register(const std::string& scheme, TIdAuthenticationFactory factory);
  /// The factory for the scheme word (ignoring case); empty when none.
  TIdAuthenticationFactory Find(const std::string& scheme) const;

 private:
  std::vector<std::pair<std::string, TIdAuthenticationFactory>> entries_;
};

TIdAuthSchemeRegistry& AuthSchemeRegistry();
