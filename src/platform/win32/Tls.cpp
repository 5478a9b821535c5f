// TLS on Windows: Schannel through SSPI, secur32.dll and crypt32.dll loaded at run time from the
// system folder only. TLS 1.2 and 1.3 where the system has them, nothing older. The peer's chain
// is judged here after the handshake (Schannel's own validation is turned off: under Wine it
// accepts any certificate): the chain engine's trust status, then the SSL policy with the host's
// name; revocation is checked where it can be reached, and an unreachable list is no refusal.
#define SECURITY_WIN32
#include "platform/Tls.h"

#include <windows.h>
// windows.h first
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "platform/SystemLibrary.h"
#include "platform/WideText.h"

namespace platform {
namespace {

/// The largest record TLS sends (16 KiB of data with its header and trailer), read in one go.
constexpr int kTlsRecordBytes = 16384 + 512;
/// The handshake's messages together never come near this; a peer that sends more is refused.
constexpr std::size_t kMaxHandshakeBytes = 256 * 1024;

// The credentials of Windows 10 1809 and later (mingw's header hides them behind a switch that
// needs the kernel's string type): protocols are named by those turned off.
struct TTlsParameters {
  DWORD cAlpnIds;
  void* rgstrAlpnIds;
  DWORD grbitDisabledProtocols;
  DWORD cDisabledCrypto;
  void* pDisabledCrypto;
  DWORD dwFlags;
};
struct TSchCredentials {
  DWORD dwVersion;
  DWORD dwCredFormat;
  DWORD cCreds;
  PCCERT_CONTEXT* paCred;
  HCERTSTORE hRootStore;
  DWORD cMappers;
  void** aphMappers;
  DWORD dwSessionLifespan;
  DWORD dwFlags;
  DWORD cTlsParameters;
  TTlsParameters* pTlsParameters;
};
constexpr DWORD kSchCredentialsVersion = 5;
/// The SSL policy's check flag that leaves revocation out (wininet's name for it).
constexpr DWORD kIgnoreRevocation = 0x00000080;

/// The system's TLS, bound once per process from the system folder.
struct TSystemTls {
  PSecurityFunctionTableW sspi = nullptr;
  decltype(&CertGetCertificateChain) getChain = nullptr;
  decltype(&CertVerifyCertificateChainPolicy) verifyPolicy = nullptr;
  decltype(&CertFreeCertificateChain) freeChain = nullptr;
  decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
  decltype(&CertNameToStrW) nameToText = nullptr;
  std::string missing;  // why it could not be bound, or empty

  TSystemTls() {
    HMODULE secur32 = LoadSystemModule(L"secur32.dll");
    HMODULE crypt32 = LoadSystemModule(L"crypt32.dll");
    if (!secur32 || !crypt32) {
      missing = secur32 ? "crypt32.dll could not be loaded" : "secur32.dll could not be loaded";
      return;
    }
    auto init = reinterpret_cast<INIT_SECURITY_INTERFACE_W>(
        reinterpret_cast<void*>(GetProcAddress(secur32, "InitSecurityInterfaceW")));
    sspi = init ? init() : nullptr;
    Bind(crypt32, getChain, "CertGetCertificateChain");
    Bind(crypt32, verifyPolicy, "CertVerifyCertificateChainPolicy");
    Bind(crypt32, freeChain, "CertFreeCertificateChain");
    Bind(crypt32, freeCertificate, "CertFreeCertificateContext");
    Bind(crypt32, nameToText, "CertNameToStrW");
    if (!sspi || !getChain || !verifyPolicy || !freeChain || !freeCertificate || !nameToText)
      missing = "secur32.dll or crypt32.dll lacks a function TLS needs";
  }

  static HMODULE LoadSystemModule(const wchar_t* name) { return static_cast<HMODULE>(LoadSystemLibrary(name)); }

  template <typename Fn>
  static void Bind(HMODULE module, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

const TSystemTls& SystemTls() {
  static const TSystemTls tls;
  return tls;
}

std::string CodeText(long code) {
  const std::string hex = HexCode(static_cast<std::uint32_t>(code), 8);
  std::string text = MessageText(SystemErrorText(static_cast<int>(code))).Bytes();
  return text.empty() ? std::string(hex) : std::string(hex) + " " + text;
}

class TSchannelSession final : public TTlsSession {
 public:
  explicit TSchannelSession(TTlsChannel channel) : sys_(SystemTls()), channel_(std::move(channel)) {}
  ~TSchannelSession() override {
    if (haveContext_) sys_.sspi->DeleteSecurityContext(&context_);
    if (haveCredentials_) sys_.sspi->FreeCredentialsHandle(&credentials_);
  }

  TTlsVerdict Start(const std::string& host) override {
    TTlsVerdict verdict;
    host_ = ToWide(host, kUtf8CodePage);
    SECURITY_STATUS status = AcquireCredentials();
    if (status == SEC_E_OK) status = Handshake();
    if (status != SEC_E_OK) {
      verdict.refusal = status == SEC_E_UNSUPPORTED_FUNCTION || status == SEC_E_ALGORITHM_MISMATCH
                            ? TTlsRefusal::ProtocolTooOld
                            : TTlsRefusal::Handshake;
      verdict.reason =
          (verdict.refusal == TTlsRefusal::ProtocolTooOld ? "the server offers no protocol as new as TLS 1.2 ("
                                                          : "the TLS handshake failed (") +
          CodeText(status) + ")";
      return verdict;
    }
    SecPkgContext_ConnectionInfo info{};
    if (sys_.sspi->QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK) {
      if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) {
        verdict.version = "TLS 1.3";
      } else if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT) {
        verdict.version = "TLS 1.2";
      } else {
        verdict.refusal = TTlsRefusal::ProtocolTooOld;
        verdict.reason = "the server agreed on a protocol older than TLS 1.2 (" + HexCode(info.dwProtocol) + ")";
        return verdict;
      }
    }
    if (sys_.sspi->QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) {
      verdict.refusal = TTlsRefusal::Handshake;
      verdict.reason = "the TLS session gives no record sizes";
      return verdict;
    }
    Verify(host, verdict);
    return verdict;
  }

  bool Send(const void* data, int length) override {
    const char* bytes = static_cast<const char*>(data);
    std::vector<char> record;
    for (int position = 0; position < length;) {
      const int part = static_cast<int>(std::min<unsigned long>(sizes_.cbMaximumMessage, length - position));
      record.resize(sizes_.cbHeader + part + sizes_.cbTrailer);
      std::memcpy(record.data() + sizes_.cbHeader, bytes + position, part);
      SecBuffer buffers[4] = {
          {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
          {static_cast<unsigned long>(part), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
          {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + part},
          {0, SECBUFFER_EMPTY, nullptr},
      };
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = sys_.sspi->EncryptMessage(&context_, 0, &desc, 0);
      if (status != SEC_E_OK) return Failed("the TLS session could not encrypt", status);
      channel_.send(record.data(), static_cast<int>(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer));
      position += part;
    }
    return true;
  }

  int Receive(void* buffer, int length) override {
    while (plainAt_ == plain_.size()) {
      plain_.clear();
      plainAt_ = 0;
      if (ended_) return 0;
      if (!raw_.empty()) {
        SecBuffer buffers[4] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_DATA, raw_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = sys_.sspi->DecryptMessage(&context_, &desc, 0, nullptr);
        if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED || status == SEC_I_RENEGOTIATE) {
          const SecBuffer* extra = nullptr;
          for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA) plain_.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            if (b.BufferType == SECBUFFER_EXTRA) extra = &b;
          }
          KeepExtra(extra);
          if (status == SEC_I_CONTEXT_EXPIRED) ended_ = true;  // the peer's close_notify
          // TLS 1.3 sends handshake messages after the handshake (session tickets, a key
          // update): Schannel takes them as the continuation of the handshake.
          if (status == SEC_I_RENEGOTIATE && Handshake() != SEC_E_OK) return -1;
          continue;
        }
        if (status != SEC_E_INCOMPLETE_MESSAGE) {
          Failed("the TLS session could not decrypt", status);
          return -1;
        }
      }
      if (!ReadMore()) return 0;  // closed by the peer without close_notify: the data ends here
    }
    const int n = static_cast<int>(std::min<std::size_t>(length, plain_.size() - plainAt_));
    std::memcpy(buffer, plain_.data() + plainAt_, n);
    plainAt_ += n;
    return n;
  }

  bool HasPending() const override { return plainAt_ < plain_.size() || !raw_.empty(); }

  void Shutdown() override {
    if (!established_) return;
    established_ = false;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer in{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &in};
    if (sys_.sspi->ApplyControlToken(&context_, &inDesc) != SEC_E_OK) return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    sys_.sspi->InitializeSecurityContextW(&credentials_, &context_, nullptr, kRequest, 0, 0, nullptr, 0, nullptr,
                                          &outDesc, &attributes, nullptr);
    if (out.pvBuffer) {
      try {
        channel_.send(out.pvBuffer, static_cast<int>(out.cbBuffer));
      } catch (...) {
        // The close_notify is a courtesy to a peer that may be gone already: the session ends
        // either way, and this runs where the connection is being closed.
      }
      sys_.sspi->FreeContextBuffer(out.pvBuffer);
    }
  }

  std::string ErrorText() const override { return error_; }

 private:
  static constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                    ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

  bool Failed(const std::string& what, SECURITY_STATUS status) {
    error_ = what + " (" + CodeText(status) + ")";
    return false;
  }

  SECURITY_STATUS AcquireCredentials() {
    // Manual validation: the chain is judged by Verify, never by Schannel's automatic check.
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TTlsParameters parameters{};
    parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    TSchCredentials modern{};
    modern.dwVersion = kSchCredentialsVersion;
    modern.dwFlags = flags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SECURITY_STATUS status =
        sys_.sspi->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                             &modern, nullptr, nullptr, &credentials_, nullptr);
    if (status != SEC_E_OK) {
      // Systems before Windows 10 1809 know only this form; it names TLS 1.2, which Windows 7
      // leaves off for programs that do not ask for it.
      SCHANNEL_CRED classic{};
      classic.dwVersion = SCHANNEL_CRED_VERSION;
      classic.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
      classic.dwFlags = flags;
      status = sys_.sspi->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                                    nullptr, &classic, nullptr, nullptr, &credentials_, nullptr);
    }
    haveCredentials_ = status == SEC_E_OK;
    return status;
  }

  /// The handshake, or its continuation after the session began (raw_ holds what came).
  SECURITY_STATUS Handshake() {
    for (;;) {
      SecBuffer in[2] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_TOKEN, raw_.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
      ULONG attributes = 0;
      const bool first = !haveContext_;
      const SECURITY_STATUS status = sys_.sspi->InitializeSecurityContextW(
          &credentials_, first ? nullptr : &context_, first ? host_.data() : nullptr, kRequest, 0, 0,
          first ? nullptr : &inDesc, 0, first ? &context_ : nullptr, &outDesc, &attributes, nullptr);
      if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) haveContext_ = true;
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (!ReadMore()) return SEC_E_INCOMPLETE_MESSAGE;  // the peer closed in the middle
        continue;
      }
      if (out[0].pvBuffer) {
        // The token is sent before a failure is reported: it may be the alert that says why.
        std::vector<char> token(static_cast<char*>(out[0].pvBuffer),
                                static_cast<char*>(out[0].pvBuffer) + out[0].cbBuffer);
        sys_.sspi->FreeContextBuffer(out[0].pvBuffer);
        if (!token.empty()) channel_.send(token.data(), static_cast<int>(token.size()));
      }
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) return status;
      if (!first) KeepExtra(in[1].BufferType == SECBUFFER_EXTRA ? &in[1] : nullptr);
      if (status == SEC_E_OK) {
        established_ = true;
        return SEC_E_OK;
      }
      if (raw_.empty() && !ReadMore()) return SEC_E_INCOMPLETE_MESSAGE;
    }
  }

  /// Keeps only the bytes after what the last call consumed (they end raw_).
  void KeepExtra(const SecBuffer* extra) {
    if (!extra || extra->cbBuffer == 0) {
      raw_.clear();
      return;
    }
    raw_.erase(raw_.begin(), raw_.end() - extra->cbBuffer);
  }

  /// Appends what the channel brings to raw_; false when the peer closed.
  bool ReadMore() {
    if (raw_.size() > kMaxHandshakeBytes) {
      error_ = "the peer sent a record larger than TLS allows";
      return false;
    }
    const std::size_t had = raw_.size();
    raw_.resize(had + kTlsRecordBytes);
    int n = 0;
    try {
      n = channel_.receive(raw_.data() + had, kTlsRecordBytes);
    } catch (...) {
      raw_.resize(had);
      throw;
    }
    raw_.resize(had + (n > 0 ? n : 0));
    return n > 0;
  }

  std::string Name(const CERT_NAME_BLOB& blob) const {
    wchar_t text[512];
    const DWORD n =
        sys_.nameToText(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&blob),
                        CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG | CERT_NAME_STR_NO_QUOTING_FLAG, text, 512);
    return n > 1 ? FromWide(text, static_cast<int>(n - 1), kUtf8CodePage) : std::string();
  }

  void Verify(const std::string& host, TTlsVerdict& verdict) {
    PCCERT_CONTEXT peer = nullptr;
    const SECURITY_STATUS status =
        sys_.sspi->QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &peer);
    if (status != SEC_E_OK || !peer) {
      verdict.refusal = TTlsRefusal::UnknownRoot;
      verdict.reason = "the server sent no certificate (" + CodeText(status) + ")";
      return;
    }
    verdict.subject = Name(peer->pCertInfo->Subject);
    verdict.issuer = Name(peer->pCertInfo->Issuer);

    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!sys_.getChain(nullptr, peer, nullptr, peer->hCertStore, &para, CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT,
                       nullptr, &chain)) {
      const DWORD error = GetLastError();
      sys_.freeCertificate(peer);
      verdict.refusal = TTlsRefusal::Untrusted;
      verdict.reason =
          "the system could not build the certificate's chain (" + CodeText(static_cast<long>(error)) + ")";
      return;
    }
    // Revocation that could not be looked up (offline, no list) is no refusal; a revoked
    // certificate is.
    const DWORD trust = chain->TrustStatus.dwErrorStatus &
                        ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION |
                                            CERT_TRUST_IS_NOT_TIME_NESTED);
    const std::string code = "chain status " + HexCode(trust);
    if (trust & CERT_TRUST_IS_REVOKED) {
      verdict.Refuse(TTlsRefusal::Revoked, host, code);
    } else if (trust & CERT_TRUST_IS_NOT_TIME_VALID) {
      verdict.Refuse(TTlsRefusal::Expired, host, code);
    } else if (trust & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
      verdict.Refuse(TTlsRefusal::UnknownRoot, host, code);
    } else if (trust != 0) {
      verdict.Refuse(TTlsRefusal::Untrusted, host, code);
    } else {
      PolicyCheck(host, chain, verdict);
    }
    sys_.freeChain(chain);
    sys_.freeCertificate(peer);
  }

  void PolicyCheck(const std::string& host, PCCERT_CHAIN_CONTEXT chain, TTlsVerdict& verdict) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    // Revocation was judged with the chain above (a revoked certificate is refused there, one
    // whose list cannot be reached is not); here the policy checks the name and the rest.
    ssl.fdwChecks = kIgnoreRevocation;
    ssl.pwszServerName = host_.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!sys_.verifyPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
      verdict.refusal = TTlsRefusal::Untrusted;
      verdict.reason =
          "the system could not check the SSL policy (" + CodeText(static_cast<long>(GetLastError())) + ")";
      return;
    }
    const long error = static_cast<long>(result.dwError);
    if (error == 0) return;
    TTlsRefusal kind = TTlsRefusal::Untrusted;
    switch (static_cast<unsigned long>(error)) {
      case static_cast<unsigned long>(CERT_E_CN_NO_MATCH): kind = TTlsRefusal::NameMismatch; break;
      case static_cast<unsigned long>(CERT_E_EXPIRED): kind = TTlsRefusal::Expired; break;
      case static_cast<unsigned long>(CRYPT_E_REVOKED): kind = TTlsRefusal::Revoked; break;
      case static_cast<unsigned long>(CERT_E_UNTRUSTEDROOT):
      case static_cast<unsigned long>(CERT_E_CHAINING): kind = TTlsRefusal::UnknownRoot; break;
      default: break;
    }
    verdict.Refuse(kind, host, (kind == TTlsRefusal::Untrusted ? "SSL policy " : "") + CodeText(error));
  }

  const TSystemTls& sys_;
  TTlsChannel channel_;
  std::wstring host_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  bool established_ = false;
  bool ended_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<char> raw_;  // received, not yet decrypted
  std::string plain_;      // decrypted, not yet taken
  std::size_t plainAt_ = 0;
  std::string error_;
};

}  // namespace

std::unique_ptr<TTlsSession> NewTlsSession(TTlsChannel channel, std::string& error) {
  error = SystemTls().missing;
  if (!error.empty()) return nullptr;
  return std::make_unique<TSchannelSession>(std::move(channel));
}

}  // namespace platform
