// Signature values and certificate chains with OpenSSL's libcrypto and the system's trust store
// (/etc/ssl/certs on Debian).
#include "platform/Signature.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace platform {
namespace {

template <typename T, void (*Free)(T*)>
struct TFree {
  void operator()(T* p) const { Free(p); }
};
using TX509 = std::unique_ptr<X509, TFree<X509, X509_free>>;

TX509 ReadCertificate(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  return TX509(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

const EVP_MD* DigestNamed(const std::string& name) {
  if (name == "SHA-256") return EVP_sha256();
  if (name == "SHA-1") return EVP_sha1();
  if (name == "MD5") return EVP_md5();
  return nullptr;
}

}  // namespace

TSignatureValue VerifySignatureValue(const std::string& certificate, const std::string& digestName,
                                     const std::string& digest, const std::string& signature) {
  const TX509 cert = ReadCertificate(certificate);
  EVP_PKEY* key = cert ? X509_get0_pubkey(cert.get()) : nullptr;
  const EVP_MD* md = DigestNamed(digestName);
  TSignatureValue out;
  if (!cert)
    out.problem = "the signer's certificate cannot be read";
  else if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA)
    out.problem = "the signer's key is not an RSA key";
  else if (!md)
    out.problem = "its digest algorithm (" + digestName + ") is not one this tool verifies";
  else {
    std::unique_ptr<EVP_PKEY_CTX, TFree<EVP_PKEY_CTX, EVP_PKEY_CTX_free>> ctx(EVP_PKEY_CTX_new(key, nullptr));
    out.verifies =
        ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
        EVP_PKEY_CTX_set_signature_md(ctx.get(), md) == 1 &&
        EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                        reinterpret_cast<const unsigned char*>(digest.data()), digest.size()) == 1;
    if (!out.verifies) out.problem = "the signature value does not verify with the signer's public key";
  }
  ERR_clear_error();  // the queue is this thread's; a failed verification leaves entries there
  return out;
}

TChainCheck CheckCertificateChain(const std::string& certificate, const std::vector<std::string>& others,
                                  std::int64_t when) {
  TChainCheck out;
  const TX509 leaf = ReadCertificate(certificate);
  std::unique_ptr<X509_STORE, TFree<X509_STORE, X509_STORE_free>> store(X509_STORE_new());
  std::unique_ptr<X509_STORE_CTX, TFree<X509_STORE_CTX, X509_STORE_CTX_free>> ctx(X509_STORE_CTX_new());
  auto freeChain = [](STACK_OF(X509) * s) { sk_X509_pop_free(s, X509_free); };
  std::unique_ptr<STACK_OF(X509), decltype(freeChain)> untrusted(sk_X509_new_null(), freeChain);
  if (!leaf || !store || !ctx || !untrusted || X509_STORE_set_default_paths(store.get()) != 1) {
    out.detail = leaf ? "the system's trust store cannot be read" : "the signer's certificate cannot be read";
    ERR_clear_error();
    return out;
  }
  for (const std::string& der : others)
    if (TX509 c = ReadCertificate(der))
      if (sk_X509_push(untrusted.get(), c.get()) > 0) c.release();
  X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get());
  X509_STORE_CTX_set_time(ctx.get(), 0, static_cast<time_t>(when));
  const bool trusted = X509_verify_cert(ctx.get()) == 1;
  const int error = X509_STORE_CTX_get_error(ctx.get());
  // A certificate out of its validity then is expired whatever its root (OpenSSL stops at an
  // unknown issuer before it looks at the dates).
  time_t at = static_cast<time_t>(when);
  const bool outOfDate =
      X509_cmp_time(X509_get0_notAfter(leaf.get()), &at) < 0 || X509_cmp_time(X509_get0_notBefore(leaf.get()), &at) > 0;
  ERR_clear_error();
  if (trusted) {
    out.end = ChainEnd::TrustedRoot;
  } else if (outOfDate) {
    out.end = ChainEnd::Expired;
  } else if (error == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) {
    out.end = ChainEnd::SelfSigned;
  } else if (error == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN || error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
             error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY) {
    out.end = ChainEnd::UnknownRoot;
  } else if (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID) {
    out.end = ChainEnd::Expired;
  } else {
    out.detail = X509_verify_cert_error_string(error);
  }
  return out;
}

}  // namespace platform
