// No SSPI natively: a proxy that asks for Negotiate or NTLM is refused, with this reason.
#include "platform/Sspi.h"

namespace platform {

struct SspiClient::Impl {
  std::string error;
};

SspiClient::SspiClient(const std::string& package, const std::string&) : impl_(new Impl) {
  impl_->error = package + " sign-in needs Windows' SSPI, which this system has not";
}
SspiClient::~SspiClient() { delete impl_; }
bool SspiClient::Available() const { return false; }
bool SspiClient::Step(const std::string&, std::string&) { return false; }
bool SspiClient::Done() const { return false; }
const std::string& SspiClient::Error() const { return impl_->error; }

}  // namespace platform
