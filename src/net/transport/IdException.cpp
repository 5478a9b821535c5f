#include "net/transport/IdException.h"

#include "platform/SocketApi.h"

std::string IdFormat(const char* format, const std::string& a, const std::string& b) {
  std::string out;
  const std::string* args[2] = {&a, &b};
  int next = 0;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && next < 2) {
      out += *args[next++];
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

namespace {
std::string StubMessage(const std::string& failureText, int code) {
  return code == 0 ? failureText : failureText + ": " + platform::SocketSystemErrorText(code);
}
}  // namespace

EIdWS2StubError::EIdWS2StubError(const std::string& failureText, int systemErrorCode)
    : EIdException(StubMessage(failureText, systemErrorCode)),
      FailureText(failureText),
      SystemErrorCode(systemErrorCode),
      SystemErrorText(systemErrorCode == 0 ? std::string() : platform::SocketSystemErrorText(systemErrorCode)) {}
