// SSPI's client side on Windows: secur32.dll loaded at run time from the system folder only,
// its function table taken from InitSecurityInterfaceW, and the logged-on user's own
// credentials (no user name or password is given, so the system uses the session's).
#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#include <sspi.h>

#include "platform/Sspi.h"
#include "platform/SystemLibrary.h"
#include "platform/WideText.h"

namespace platform {

namespace {

/// secur32's function table for the run; null when the library or its table is missing.
PSecurityFunctionTableW Secur32(std::string& error) {
  static std::string loadError;
  static PSecurityFunctionTableW table = [] {
    HMODULE module = static_cast<HMODULE>(platform::LoadSystemLibrary(L"secur32.dll"));
    if (!module) {
      loadError = "secur32.dll cannot be loaded (error " + std::to_string(GetLastError()) + ")";
      return PSecurityFunctionTableW(nullptr);
    }
    auto init = reinterpret_cast<INIT_SECURITY_INTERFACE_W>(
        reinterpret_cast<void*>(GetProcAddress(module, "InitSecurityInterfaceW")));
    PSecurityFunctionTableW t = init ? init() : nullptr;
    if (!t) loadError = "secur32.dll gives no security interface";
    return t;
  }();
  error = loadError;
  return table;
}

std::string StatusText(SECURITY_STATUS status) {
  const std::string hex = platform::HexCode(static_cast<std::uint32_t>(status), 8);
  switch (status) {
    case SEC_E_NO_CREDENTIALS: return std::string("no credentials for this user (") + hex + ")";
    case SEC_E_SECPKG_NOT_FOUND: return std::string("the system has no such package (") + hex + ")";
    case SEC_E_LOGON_DENIED: return std::string("the sign-in was refused (") + hex + ")";
    case SEC_E_INVALID_TOKEN: return std::string("the proxy's token is not valid (") + hex + ")";
    case SEC_E_TARGET_UNKNOWN: return std::string("the proxy is unknown to the domain (") + hex + ")";
    default: return std::string("SSPI error ") + hex;
  }
}

}  // namespace

struct SspiClient::Impl {
  PSecurityFunctionTableW sspi = nullptr;
  std::wstring package, target;
  CredHandle credentials = {};
  CtxtHandle context = {};
  bool haveCredentials = false, haveContext = false, done = false;
  std::string error;
};

SspiClient::SspiClient(const std::string& package, const std::string& target) : impl_(new Impl) {
  impl_->sspi = Secur32(impl_->error);
  impl_->package = ToWide(package, kProgramCodePage);
  impl_->target = ToWide(target, kProgramCodePage);
  if (!impl_->sspi) return;
  TimeStamp expiry;
  const SECURITY_STATUS status = impl_->sspi->AcquireCredentialsHandleW(
      nullptr, const_cast<wchar_t*>(impl_->package.c_str()), SECPKG_CRED_OUTBOUND, nullptr, nullptr, nullptr, nullptr,
      &impl_->credentials, &expiry);
  if (status != SEC_E_OK) {
    impl_->error = package + ": " + StatusText(status);
    return;
  }
  impl_->haveCredentials = true;
}

SspiClient::~SspiClient() {
  if (impl_->haveContext) impl_->sspi->DeleteSecurityContext(&impl_->context);
  if (impl_->haveCredentials) impl_->sspi->FreeCredentialsHandle(&impl_->credentials);
  delete impl_;
}

bool SspiClient::Available() const { return impl_->haveCredentials; }

bool SspiClient::Step(const std::string& input, std::string& output) {
  output.clear();
  if (!impl_->haveCredentials) return false;
  SecBuffer in = {static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, const_cast<char*>(input.data())};
  SecBufferDesc inDesc = {SECBUFFER_VERSION, 1, &in};
  SecBuffer out = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out};
  unsigned long attributes = 0;
  TimeStamp expiry;
  SECURITY_STATUS status = impl_->sspi->InitializeSecurityContextW(
      &impl_->credentials, impl_->haveContext ? &impl_->context : nullptr, const_cast<wchar_t*>(impl_->target.c_str()),
      ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_CONNECTION, 0, SECURITY_NATIVE_DREP, input.empty() ? nullptr : &inDesc, 0,
      &impl_->context, &outDesc, &attributes, &expiry);
  if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_COMPLETE_NEEDED ||
      status == SEC_I_COMPLETE_AND_CONTINUE)
    impl_->haveContext = true;
  if ((status == SEC_I_COMPLETE_NEEDED || status == SEC_I_COMPLETE_AND_CONTINUE) && impl_->sspi->CompleteAuthToken) {
    const SECURITY_STATUS completed = impl_->sspi->CompleteAuthToken(&impl_->context, &outDesc);
    if (completed != SEC_E_OK)
      status = completed;
    else
      status = status == SEC_I_COMPLETE_NEEDED ? SEC_E_OK : SEC_I_CONTINUE_NEEDED;
  }
  if (out.pvBuffer) {
    output.assign(static_cast<const char*>(out.pvBuffer), out.cbBuffer);
    impl_->sspi->FreeContextBuffer(out.pvBuffer);
  }
  if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
    impl_->error = FromWide(impl_->package, kProgramCodePage) + ": " + StatusText(status);
    output.clear();
    return false;
  }
  impl_->done = status == SEC_E_OK;
  return true;
}

bool SspiClient::Done() const { return impl_->done; }

const std::string& SspiClient::Error() const { return impl_->error; }

}  // namespace platform
