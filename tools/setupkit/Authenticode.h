#pragma once
// A launcher's Authenticode signature checked to its value: the certificate table's PKCS #7
// SignedData read as far as the image digest it signs (SpcIndirectDataContent), the same digest
// computed over the file, the signed attributes' digest of that content, the table's exact
// extent, the signature value against the signer's public key, and where the signer's chain
// ends, each said separately; with the signing facts a vendor plans by (the time stamp and by
// whom, the certificate's last day). The public-key work is the system's (platform/Signature.h).
#include <string>
#include <vector>

#include "PeImage.h"
#include "base/Classes.h"
#include "platform/Signature.h"

struct TSignatureCheck {
  bool present = false;   // the image has a certificate table
  bool valid = false;     // it signs this file: digests, extent and signature value all hold
  std::string algorithm;  // the image digest's ("SHA-256"), when it could be read
  std::string signer;     // the signing certificate's subject, "CN=..., O=..."; empty if unreadable
  std::string problem;    // why it is not valid: one line, printable ASCII
  // Read for a valid signature only:
  platform::ChainEnd chainEnd = platform::ChainEnd::Other;  // where the signer's chain ends
  std::string chain;    // the same as a clause: "the chain ends at a root this machine trusts"
  std::string expires;  // the signing certificate's last day, "2027-12-08" (UTC); empty if unreadable
  // The time stamp, counted only when it stamps this signature and its own signature verifies:
  std::string timeStamp;       // "by CN=..., 2026-12-08 07:30:00 UTC"; empty: none that verifies
  std::string timeStampChain;  // where its authority's chain ends, as a clause
  platform::ChainEnd timeStampChainEnd = platform::ChainEnd::Other;
  std::string timeStampProblem;  // a time stamp that does not verify: why (its time is not used)
};

/// Checks the signature of `image`, read from `file` (the same file).
TSignatureCheck CheckSignature(TStream& file, TPeImage& image);

/// What a valid signature states, as one line: "by X; the file's SHA-256 digest is the one
/// signed, the signature value verifies, the chain ends at a root this machine trusts".
std::string SignatureFacts(const TSignatureCheck& s);
/// The time stamp as one line: "by X, T; the chain ends at ...", "a time stamp that does not
/// verify: why", or "none".
std::string TimeStampText(const TSignatureCheck& s);
/// The warnings a valid signature draws: a chain that ends at no trusted root (a test
/// certificate); no time stamp, or one that does not verify (naming the day the signature stops
/// being valid); a time stamp whose authority's chain ends at no trusted root.
std::vector<std::string> SignatureWarnings(const TSignatureCheck& s);
