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
  /// Why the last step failed, where the scheme can say.
  std::string Error;
};

class TIdBasicAuthentication : public TIdAuthentication {
 public:
  std::string Scheme() const override { return "Basic"; }
  int Steps() const override { return 1; }
  TIdAuthWhatsNext Next() override;
  /// "Basic " + Base64 of user ":" password.
  std::string Authentication() override;
};

/// A scheme the system answers with the logged-on user's own credentials (Negotiate, NTLM):
/// each challenge's token goes to a token source and its answer is sent; no user name or
/// password is ever held here.
class TIdSSPIAuthentication : public TIdAuthentication {
 public:
  /// Gives the next token from the server's last one (empty at first); false with `error` set
  /// when the step is refused.
  using TTokenSource = std::function<bool(const std::string& input, std::string& output, std::string& error)>;
  /// The system's SSPI package `scheme` for the service `target` ("HTTP/proxy.example").
  TIdSSPIAuthentication(const std::string& scheme, const std::string& target);
  /// Tokens from `source` instead, made anew by `restart` at every Reset.
  TIdSSPIAuthentication(const std::string& scheme, std::function<TTokenSource()> restart);
  std::string Scheme() const override { return scheme_; }
  /// Negotiate and NTLM answer within three exchanges.
  int Steps() const override { return 3; }
  /// The token of this scheme's challenge in AuthParams to the source; wnFail when the server
  /// sent none after the first step (it refused the last answer) or the source refuses.
  TIdAuthWhatsNext Next() override;
  /// scheme + " " + the Base64 of the latest token, once: the sign-in belongs to the connection,
  /// so a token goes out only in the request after its challenge (empty after that).
  std::string Authentication() override;
  /// Starts the handshake over (a new connection needs a new one).
  void Reset() override;

 private:
  std::string scheme_;
  std::function<TTokenSource()> restart_;
  TTokenSource source_;
  std::string token_;
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
