// Signature values and certificate chains with the system's own cryptography: advapi32's RSA
// provider and crypt32's certificates and chain engine, loaded from the system folder when first
// asked (the launcher never asks, so it loads neither).
#include "platform/Signature.h"
#include "platform/Platform.h"
#include "platform/SystemLibrary.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

namespace platform {
namespace {

// clang-format off
struct TCryptApi {
  bool loaded = false;
  decltype(&::CertCreateCertificateContext) CertCreateCertificateContext = nullptr;
  decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = nullptr;
  decltype(&::CryptImportPublicKeyInfo) CryptImportPublicKeyInfo = nullptr;
  decltype(&::CertOpenStore) CertOpenStore = nullptr;
  decltype(&::CertCloseStore) CertCloseStore = nullptr;
  decltype(&::CertAddEncodedCertificateToStore) CertAddEncodedCertificateToStore = nullptr;
  decltype(&::CertGetCertificateChain) CertGetCertificateChain = nullptr;
  decltype(&::CertFreeCertificateChain) CertFreeCertificateChain = nullptr;
  decltype(&::CryptAcquireContextW) CryptAcquireContextW = nullptr;
  decltype(&::CryptReleaseContext) CryptReleaseContext = nullptr;
  decltype(&::CryptCreateHash) CryptCreateHash = nullptr;
  decltype(&::CryptSetHashParam) CryptSetHashParam = nullptr;
  decltype(&::CryptDestroyHash) CryptDestroyHash = nullptr;
  decltype(&::CryptDestroyKey) CryptDestroyKey = nullptr;
  decltype(&::CryptVerifySignatureW) CryptVerifySignatureW = nullptr;
};
// clang-format on

HMODULE LoadFromSystemFolder(const wchar_t* name) { return static_cast<HMODULE>(platform::LoadSystemLibrary(name)); }

template <typename F>
bool Bind(HMODULE module, const char* name, F& f) {
  f = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  return f != nullptr;
}

// Both libraries stay loaded for the process: a command checks one signature and ends.
const TCryptApi& Api() {
  static const TCryptApi api = [] {
    TCryptApi a;
    const HMODULE crypt32 = LoadFromSystemFolder(L"crypt32.dll"), advapi32 = LoadFromSystemFolder(L"advapi32.dll");
    a.loaded = Bind(crypt32, "CertCreateCertificateContext", a.CertCreateCertificateContext) &&
               Bind(crypt32, "CertFreeCertificateContext", a.CertFreeCertificateContext) &&
               Bind(crypt32, "CryptImportPublicKeyInfo", a.CryptImportPublicKeyInfo) &&
               Bind(crypt32, "CertOpenStore", a.CertOpenStore) && Bind(crypt32, "CertCloseStore", a.CertCloseStore) &&
               Bind(crypt32, "CertAddEncodedCertificateToStore", a.CertAddEncodedCertificateToStore) &&
               Bind(crypt32, "CertGetCertificateChain", a.CertGetCertificateChain) &&
               Bind(crypt32, "CertFreeCertificateChain", a.CertFreeCertificateChain) &&
               Bind(advapi32, "CryptAcquireContextW", a.CryptAcquireContextW) &&
               Bind(advapi32, "CryptReleaseContext", a.CryptReleaseContext) &&
               Bind(advapi32, "CryptCreateHash", a.CryptCreateHash) &&
               Bind(advapi32, "CryptSetHashParam", a.CryptSetHashParam) &&
               Bind(advapi32, "CryptDestroyHash", a.CryptDestroyHash) &&
               Bind(advapi32, "CryptDestroyKey", a.CryptDestroyKey) &&
               Bind(advapi32, "CryptVerifySignatureW", a.CryptVerifySignatureW);
    return a;
  }();
  return api;
}

constexpr const char* kNoApi = "the system's crypt32 or advapi32 cannot be loaded";

struct TCertificate {
  const TCryptApi& api;
  PCCERT_CONTEXT context;
  TCertificate(const TCryptApi& a, const std::string& der)
      : api(a),
        context(a.CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                               static_cast<DWORD>(der.size()))) {}
  ~TCertificate() {
    if (context) api.CertFreeCertificateContext(context);
  }
};

}  // namespace

TSignatureValue VerifySignatureValue(const std::string& certificate, const std::string& digestName,
                                     const std::string& digest, const std::string& signature) {
  TSignatureValue out;
  const TCryptApi& api = Api();
  if (!api.loaded) return out.problem = kNoApi, out;
  const ALG_ID algorithm = digestName == "SHA-256" ? CALG_SHA_256
                           : digestName == "SHA-1" ? CALG_SHA1
                           : digestName == "MD5"   ? CALG_MD5
                                                   : 0;
  const TCertificate cert(api, certificate);
  if (!cert.context) return out.problem = "the signer's certificate cannot be read", out;
  if (std::string(cert.context->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId) != szOID_RSA_RSA)
    return out.problem = "the signer's key is not an RSA key", out;
  if (algorithm == 0)
    return out.problem = "its digest algorithm (" + digestName + ") is not one this tool verifies", out;
  HCRYPTPROV provider = 0;
  if (!api.CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
    return out.problem = "the system's RSA provider cannot be opened", out;
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  // The provider takes the signature's bytes least significant first.
  std::string reversed(signature.rbegin(), signature.rend());
  if (!api.CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, &cert.context->pCertInfo->SubjectPublicKeyInfo,
                                    &key)) {
    out.problem = "the signer's public key cannot be read";
  } else {
    out.verifies = api.CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
                   api.CryptSetHashParam(hash, HP_HASHVAL, reinterpret_cast<const BYTE*>(digest.data()), 0) &&
                   api.CryptVerifySignatureW(hash, reinterpret_cast<const BYTE*>(reversed.data()),
                                             static_cast<DWORD>(reversed.size()), key, nullptr, 0);
    if (!out.verifies) out.problem = "the signature value does not verify with the signer's public key";
  }
  if (hash) api.CryptDestroyHash(hash);
  if (key) api.CryptDestroyKey(key);
  api.CryptReleaseContext(provider, 0);
  return out;
}

TChainCheck CheckCertificateChain(const std::string& certificate, const std::vector<std::string>& others,
                                  std::int64_t when) {
  TChainCheck out;
  const TCryptApi& api = Api();
  if (!api.loaded) return out.detail = kNoApi, out;
  const TCertificate leaf(api, certificate);
  if (!leaf.context) return out.detail = "the signer's certificate cannot be read", out;
  HCERTSTORE store = api.CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store) return out.detail = "a certificate store cannot be opened", out;
  for (const std::string& der : others)
    api.CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, nullptr);
  // FILETIME: 100 ns steps since 1601.
  const ULONGLONG ticks = (static_cast<ULONGLONG>(std::max<std::int64_t>(when, 0)) + 11644473600ull) * 10000000ull;
  FILETIME at = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!api.CertGetCertificateChain(nullptr, leaf.context, &at, store, &para, 0, nullptr, &chain) || !chain) {
    out.detail = "the system cannot build the certificate's chain";
  } else {
    const DWORD error = chain->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN* simple = chain->cChain ? chain->rgpChain[0] : nullptr;
    const bool selfSigned = simple && simple->cElement == 1 &&
                            (simple->rgpElement[0]->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED);
    // A certificate out of its validity then is expired whatever its root.
    if (error == CERT_TRUST_NO_ERROR)
      out.end = ChainEnd::TrustedRoot;
    else if (error & CERT_TRUST_IS_NOT_TIME_VALID)
      out.end = ChainEnd::Expired;
    else if (error & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      out.end = selfSigned ? ChainEnd::SelfSigned : ChainEnd::UnknownRoot;
    else {
      out.detail = "the system's chain status is " + platform::HexCode(error, 8);
    }
    api.CertFreeCertificateChain(chain);
  }
  api.CertCloseStore(store, 0);
  return out;
}

}  // namespace platform
