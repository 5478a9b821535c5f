#pragma once
// The client side of a sign-in handshake with the logged-on user's own credentials: SSPI's
// Negotiate and NTLM packages on Windows (secur32.dll from the system folder), the way Windows'
// own HTTP stack answers a proxy that asks who the user is. No password passes through the
// program. Linux has no such service: Available() is false there.
#include <string>

namespace platform {

class SspiClient {
 public:
  /// `package` is "Negotiate" or "NTLM"; `target` the service's name ("HTTP/proxy.example").
  SspiClient(const std::string& package, const std::string& target);
  ~SspiClient();
  SspiClient(const SspiClient&) = delete;
  SspiClient& operator=(const SspiClient&) = delete;

  /// False where the system has no such package (Error() says why).
  bool Available() const;
  /// The next token to send, from the server's last token (none for the first step). False
  /// when the system refuses the step; Error() then says why.
  bool Step(const std::string& input, std::string& output);
  /// The handshake is complete on this side: no further token is to be sent after this one.
  bool Done() const;
  const std::string& Error() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform
