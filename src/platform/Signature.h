#pragma once
// The public-key half of checking a code signature, done by the system's own cryptography:
// whether a signature value was made by the key of the signer's certificate, and whether that
// certificate's chain ends at a root this machine trusts. Natively OpenSSL's libcrypto and its
// trust store; on Windows crypt32 and advapi32, loaded from the system folder when first asked.
// The caller parses the signature and computes the digest it signs.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct TSignatureValue {
  bool verifies = false;
  std::string problem;  // why not, one line of ASCII
};
/// Whether `signature` is the RSA signature (PKCS #1 v1.5) of `digest`, a digest made with
/// `digestName` ("SHA-256", "SHA-1" or "MD5"), by the public key of `certificate` (DER X.509).
TSignatureValue VerifySignatureValue(const std::string& certificate, const std::string& digestName,
                                     const std::string& digest, const std::string& signature);

enum class ChainEnd { TrustedRoot, SelfSigned, UnknownRoot, Expired, Other };
struct TChainCheck {
  ChainEnd end = ChainEnd::Other;
  std::string detail;  // for Other: the system's reason, one line of ASCII
};
/// Builds the chain of `certificate` (DER X.509) from `others` (the further certificates a
/// signature carries) and this machine's trusted roots, as it stood at `when` (seconds since
/// 1970, UTC), and says where it ends.
TChainCheck CheckCertificateChain(const std::string& certificate, const std::vector<std::string>& others,
                                  std::int64_t when);

}  // namespace platform
