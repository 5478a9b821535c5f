#pragma once
// A launcher's Authenticode signature checked as a signature: the certificate table's PKCS #7
// SignedData read as far as the image digest it signs (SpcIndirectDataContent), the same
// digest computed over the file, and the signer named from its certificate. The RSA signature
// and the certificate chain are not verified here (osslsigncode verify does that with the
// vendor's CA); what this catches is a file changed after it was signed, and a certificate table
// that is no signature of this file at all.
#include <string>

#include "PeImage.h"
#include "base/Classes.h"

struct TSignatureCheck {
  bool present = false;   // the image has a certificate table
  bool valid = false;     // it signs this file's digest
  std::string algorithm;  // the digest's ("SHA-256"), when it could be read
  std::string signer;     // the signing certificate's subject, "CN=..., O=..."; empty if unreadable
  std::string problem;    // why it is not valid: one line, printable ASCII
};

/// Checks the signature of `image`, read from `file` (the same file).
TSignatureCheck CheckSignature(TStream& file, TPeImage& image);
