#include "Authenticode.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "Digest.h"
#include "ReplyPublish.h"
#include "net/http/IdGlobal.h"
#include "platform/Signature.h"

namespace {

// ---- DER, as far as a signature's digest and its signer's name need it --------------------

struct TDer {
  unsigned tag = 0;
  std::size_t begin = 0, start = 0, end = 0;  // the whole element, its content, past its end
};

// The element at pos, within [pos, limit); false for anything malformed (an indefinite length
// included: DER has none).
bool DerAt(const std::string& s, std::size_t pos, std::size_t limit, TDer& e) {
  if (pos + 2 > limit) return false;
  e.begin = pos;
  e.tag = static_cast<unsigned char>(s[pos]);
  std::size_t length = static_cast<unsigned char>(s[pos + 1]);
  pos += 2;
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || pos + bytes > limit) return false;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = length << 8 | static_cast<unsigned char>(s[pos++]);
  }
  if (length > limit - pos) return false;
  e.start = pos;
  e.end = pos + length;
  return true;
}

std::vector<TDer> DerChildren(const std::string& s, const TDer& parent) {
  std::vector<TDer> out;
  for (std::size_t pos = parent.start; pos < parent.end;) {
    TDer e;
    if (!DerAt(s, pos, parent.end, e)) return {};
    out.push_back(e);
    pos = e.end;
  }
  return out;
}

std::string DerBytes(const std::string& s, const TDer& e) { return s.substr(e.begin, e.end - e.begin); }
std::string DerContent(const std::string& s, const TDer& e) { return s.substr(e.start, e.end - e.start); }

bool IsOid(const std::string& s, const TDer& e, const std::string& oid) {
  return e.tag == 0x06 && DerContent(s, e) == oid;
}

// clang-format off
const std::string kOidSignedData("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9);      // 1.2.840.113549.1.7.2
const std::string kOidIndirectData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 10);  // 1.3.6.1.4.1.311.2.1.4
const std::string kOidPeImageData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x0F", 10);   // 1.3.6.1.4.1.311.2.1.15
const std::string kOidMessageDigest("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04", 9);    // 1.2.840.113549.1.9.4
const std::string kOidSigningTime("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05", 9);      // 1.2.840.113549.1.9.5
const std::string kOidCounterSignature("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06", 9); // 1.2.840.113549.1.9.6
const std::string kOidRfc3161Stamp("\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01", 10); // 1.3.6.1.4.1.311.3.3.1
// clang-format on

// "CN=..., O=..." from a Name (a sequence of sets of attribute type and value).
std::string NameText(const std::string& s, const TDer& name) {
  static const struct {
    unsigned char id;
    const char* key;
  } kKeys[] = {{3, "CN"}, {10, "O"}, {11, "OU"}, {7, "L"}, {8, "ST"}, {6, "C"}};
  std::string text;
  for (const TDer& set : DerChildren(s, name))
    for (const TDer& pair : DerChildren(s, set)) {
      const std::vector<TDer> parts = DerChildren(s, pair);
      if (parts.size() != 2 || parts[0].tag != 0x06 || parts[0].end - parts[0].start != 3 ||
          s.compare(parts[0].start, 2, "\x55\x04") != 0)
        continue;
      for (const auto& k : kKeys)
        if (static_cast<unsigned char>(s[parts[0].start + 2]) == k.id)
          text += std::string(text.empty() ? "" : ", ") + k.key + "=" + VisibleBytes(DerContent(s, parts[1]));
    }
  return text;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// The parts of a SignedData that the checks read.
struct TSignedParts {
  TDer indirect;          // SpcIndirectDataContent (a SEQUENCE)
  std::string digestOid;  // of the image digest
  std::string digest;     // the image digest signed
  TDer certificates;      // [0] IMPLICIT SET OF Certificate
  TDer signer;            // the first SignerInfo
  bool hasCertificates = false;
  std::size_t end = 0;  // past the SignedData's ContentInfo in the table
};

// Reads the parts, or says what the table is instead.
bool ReadSignedData(const std::string& t, TSignedParts& p, std::string& problem) {
  // WIN_CERTIFICATE: length (4), revision (2), type (2, 2 = PKCS #7 SignedData), the DER bytes.
  const std::size_t length = t.size() < 8 ? 0
                                          : static_cast<unsigned char>(t[0]) | static_cast<unsigned char>(t[1]) << 8 |
                                                static_cast<std::size_t>(static_cast<unsigned char>(t[2])) << 16 |
                                                static_cast<std::size_t>(static_cast<unsigned char>(t[3])) << 24;
  if (length < 8 || length > t.size()) return problem = "the certificate table holds no certificate record", false;
  if (t[6] != 2 || t[7] != 0) return problem = "the certificate record is not a PKCS #7 signature", false;
  problem = "the certificate record is not a PKCS #7 signature of a PE image";
  TDer top, signedData, content, explicitContent;
  if (!DerAt(t, 8, length, top) || top.tag != 0x30) return false;
  p.end = top.end;
  const std::vector<TDer> info = DerChildren(t, top);
  if (info.size() < 2 || !IsOid(t, info[0], kOidSignedData) || info[1].tag != 0xA0 ||
      !DerAt(t, info[1].start, info[1].end, signedData) || signedData.tag != 0x30)
    return false;
  const std::vector<TDer> fields = DerChildren(t, signedData);
  // version, digestAlgorithms, contentInfo, [0] certificates, [1] crls, signerInfos
  if (fields.size() < 4 || fields[2].tag != 0x30 || fields.back().tag != 0x31) return false;
  const std::vector<TDer> contentInfo = DerChildren(t, fields[2]);
  if (contentInfo.size() != 2 || !IsOid(t, contentInfo[0], kOidIndirectData) || contentInfo[1].tag != 0xA0 ||
      !DerAt(t, contentInfo[1].start, contentInfo[1].end, p.indirect) || p.indirect.tag != 0x30)
    return false;
  // SpcIndirectDataContent: data (type, value), messageDigest (DigestInfo: algorithm, digest)
  const std::vector<TDer> indirect = DerChildren(t, p.indirect);
  if (indirect.size() != 2) return false;
  const std::vector<TDer> data = DerChildren(t, indirect[0]);
  if (data.empty() || !IsOid(t, data[0], kOidPeImageData)) return false;
  const std::vector<TDer> digestInfo = DerChildren(t, indirect[1]);
  if (digestInfo.size() != 2 || digestInfo[1].tag != 0x04) return false;
  const std::vector<TDer> algorithm = DerChildren(t, digestInfo[0]);
  if (algorithm.empty() || algorithm[0].tag != 0x06) return false;
  p.digestOid = DerContent(t, algorithm[0]);
  p.digest = DerContent(t, digestInfo[1]);
  for (std::size_t i = 3; i + 1 < fields.size(); ++i)
    if (fields[i].tag == 0xA0) {
      p.certificates = fields[i];
      p.hasCertificates = true;
    }
  const std::vector<TDer> signers = DerChildren(t, fields.back());
  if (signers.empty()) return problem = "the signature has no signer", false;
  p.signer = signers[0];
  problem.clear();
  return true;
}

// The signer's messageDigest attribute must be the digest of the SpcIndirectDataContent's
// content (without its tag and length): that is what ties the signed attributes, and so the
// signature, to the image digest.
bool AttributesCoverDigest(const std::string& t, const TSignedParts& p) {
  const std::vector<TDer> signer = DerChildren(t, p.signer);
  // version, issuerAndSerialNumber, digestAlgorithm, [0] authenticatedAttributes, ...
  if (signer.size() < 5 || signer[3].tag != 0xA0) return false;
  const std::vector<TDer> algorithm = DerChildren(t, signer[2]);
  if (algorithm.empty() || algorithm[0].tag != 0x06) return false;
  const std::string expected = DigestOf(DerContent(t, algorithm[0]), DerContent(t, p.indirect));
  if (expected.empty()) return false;
  for (const TDer& attribute : DerChildren(t, signer[3])) {
    const std::vector<TDer> parts = DerChildren(t, attribute);
    if (parts.size() != 2 || !IsOid(t, parts[0], kOidMessageDigest)) continue;
    const std::vector<TDer> values = DerChildren(t, parts[1]);
    return values.size() == 1 && values[0].tag == 0x04 && DerContent(t, values[0]) == expected;
  }
  return false;
}

// The fields of a certificate's TBSCertificate after its version: serial, signature algorithm,
// issuer, validity, subject, key.
std::vector<TDer> CertificateFields(const std::string& t, const TDer& certificate) {
  const std::vector<TDer> outer = DerChildren(t, certificate);
  if (outer.empty()) return {};
  std::vector<TDer> tbs = DerChildren(t, outer[0]);
  if (!tbs.empty() && tbs[0].tag == 0xA0) tbs.erase(tbs.begin());  // the version
  return tbs.size() < 6 ? std::vector<TDer>{} : tbs;
}

// The certificate among `certificates` that an IssuerAndSerialNumber names, or false.
bool CertificateNamed(const std::string& t, const TDer& certificates, const TDer& issuerAndSerial, TDer& found) {
  const std::vector<TDer> wanted = DerChildren(t, issuerAndSerial);
  if (wanted.size() != 2) return false;
  for (const TDer& certificate : DerChildren(t, certificates)) {
    const std::vector<TDer> tbs = CertificateFields(t, certificate);
    if (!tbs.empty() && DerBytes(t, tbs[0]) == DerBytes(t, wanted[1]) && DerBytes(t, tbs[2]) == DerBytes(t, wanted[0]))
      return found = certificate, true;
  }
  return false;
}

// A UTCTime or GeneralizedTime ("YYMMDDHHMMSSZ", "YYYYMMDDHHMMSSZ") as seconds since 1970,
// with its text "2027-12-08 07:30:00 UTC"; false for any other form.
bool ReadTime(const std::string& t, const TDer& e, std::int64_t& seconds, std::string& text) {
  std::string v = DerContent(t, e);
  if (e.tag == 0x17 && v.size() == 13)
    v.insert(0, v[0] < '5' ? "20" : "19");  // RFC 5280's window
  else if (e.tag != 0x18 || v.size() < 15)
    return false;
  if (v.back() != 'Z' || v.find_first_not_of("0123456789", 0) < 14) return false;
  auto at = [&v](std::size_t i, std::size_t n) { return std::stoi(v.substr(i, n)); };
  TDateTime date, time;
  if (!TryEncodeDate(at(0, 4), at(4, 2), at(6, 2), date) || !TryEncodeTime(at(8, 2), at(10, 2), at(12, 2), 0, time))
    return false;
  seconds = static_cast<std::int64_t>((date - 25569) * 86400 + 0.5) + at(8, 2) * 3600 + at(10, 2) * 60 + at(12, 2);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d UTC", at(0, 4), at(4, 2), at(6, 2), at(8, 2),
                at(10, 2), at(12, 2));
  return text = buffer, true;
}

// The value of the attribute `oid` in a SET OF Attribute, or false.
bool AttributeValue(const std::string& t, const TDer& attributes, const std::string& oid, TDer& value) {
  for (const TDer& attribute : DerChildren(t, attributes)) {
    const std::vector<TDer> parts = DerChildren(t, attribute);
    if (parts.size() != 2 || !IsOid(t, parts[0], oid)) continue;
    const std::vector<TDer> values = DerChildren(t, parts[1]);
    if (values.size() == 1) return value = values[0], true;
  }
  return false;
}

// The time stamp among a SignerInfo's unsigned attributes, as "by CN=..., TIME": an RFC 3161
// token (a SignedData of its own, whose TSTInfo holds the time) or an Authenticode counter-
// signature (whose signer's certificate is among the signature's, its time an attribute).
std::string TimeStampOf(const std::string& t, const std::vector<TDer>& signer, const TSignedParts& p,
                        std::int64_t& when) {
  const auto unsignedAt = std::find_if(signer.begin() + 5, signer.end(), [](const TDer& e) { return e.tag == 0xA1; });
  if (unsignedAt == signer.end()) return "";
  TDer value, certificate, signingTime;
  std::string by, time;
  if (AttributeValue(t, *unsignedAt, kOidCounterSignature, value)) {
    const std::vector<TDer> counter = DerChildren(t, value);
    if (counter.size() >= 4 && p.hasCertificates && CertificateNamed(t, p.certificates, counter[1], certificate))
      by = NameText(t, CertificateFields(t, certificate)[4]);
    if (counter.size() >= 4 && counter[3].tag == 0xA0 && AttributeValue(t, counter[3], kOidSigningTime, signingTime))
      ReadTime(t, signingTime, when, time);
  } else if (AttributeValue(t, *unsignedAt, kOidRfc3161Stamp, value)) {
    // ContentInfo { signedData, [0] SignedData { version, algorithms, { tSTInfo, [0] OCTET STRING
    // { TSTInfo { version, policy, imprint, serial, genTime, ... } } }, [0] certificates, ..., signers } }
    const std::vector<TDer> info = DerChildren(t, value);
    TDer stamp, tst, octets;
    if (info.size() == 2 && info[1].tag == 0xA0 && DerAt(t, info[1].start, info[1].end, stamp)) {
      const std::vector<TDer> fields = DerChildren(t, stamp);
      if (fields.size() >= 4 && fields[2].tag == 0x30) {
        const std::vector<TDer> content = DerChildren(t, fields[2]);
        if (content.size() == 2 && content[1].tag == 0xA0 && DerAt(t, content[1].start, content[1].end, octets) &&
            octets.tag == 0x04 && DerAt(t, octets.start, octets.end, tst)) {
          const std::vector<TDer> tstInfo = DerChildren(t, tst);
          if (tstInfo.size() >= 5) ReadTime(t, tstInfo[4], when, time);
        }
        const std::vector<TDer> stampSigners = DerChildren(t, fields.back());
        const std::vector<TDer> stampSigner =
            stampSigners.empty() ? std::vector<TDer>{} : DerChildren(t, stampSigners[0]);
        if (fields[3].tag == 0xA0 && stampSigner.size() >= 2 &&
            CertificateNamed(t, fields[3], stampSigner[1], certificate))
          by = NameText(t, CertificateFields(t, certificate)[4]);
      }
    }
  } else {
    return "";
  }
  return "by " + (by.empty() ? std::string("(a time-stamping authority this tool cannot read)") : by) +
         (time.empty() ? "" : ", " + time);
}

const char* ChainClause(platform::ChainEnd end) {
  switch (end) {
    case platform::ChainEnd::TrustedRoot: return "the chain ends at a root this machine trusts";
    case platform::ChainEnd::SelfSigned: return "the chain does not end at a root this machine trusts: self-signed";
    case platform::ChainEnd::UnknownRoot: return "the chain does not end at a root this machine trusts: unknown root";
    case platform::ChainEnd::Expired: return "the chain does not end at a root this machine trusts: expired";
    case platform::ChainEnd::Other: break;
  }
  return "the chain does not end at a root this machine trusts";
}

}  // namespace

TSignatureCheck CheckSignature(TStream& file, TPeImage& image) {
  TSignatureCheck out;
  out.present = image.IsSigned();
  if (!out.present) return out;
  const std::string table = image.CertificateTable();
  TSignedParts parts;
  if (!ReadSignedData(table, parts, out.problem)) return out;
  const std::vector<TDer> signer = DerChildren(table, parts.signer);
  TDer certificate;
  const bool hasCertificate = signer.size() >= 6 && parts.hasCertificates &&
                              CertificateNamed(table, parts.certificates, signer[1], certificate);
  const std::vector<TDer> fields = hasCertificate ? CertificateFields(table, certificate) : std::vector<TDer>{};
  if (!fields.empty()) out.signer = NameText(table, fields[4]);
  std::unique_ptr<TDigest> digest = DigestForOid(parts.digestOid, out.algorithm);
  if (!digest) {
    out.problem = "its digest algorithm (" + out.algorithm + ") is not one this tool computes";
    return out;
  }
  if (!AttributesCoverDigest(table, parts)) {
    out.problem = "its signed attributes do not hold the digest of the signed content";
    return out;
  }
  // Windows takes a table of one record and at most the zeros that align it to 8 bytes.
  if (const std::size_t extra = table.size() - parts.end;
      extra >= 8 || table.find_first_not_of('\0', parts.end) != std::string::npos)
    out.problem =
        std::to_string(extra) + " bytes of the certificate table follow the signature, which it does not cover";
  if (const std::uint64_t after = image.BytesAfterCertificates())
    out.problem = std::to_string(after) + " bytes follow the signature, which it does not cover";
  std::string buffer(64 * 1024, '\0');
  for (const TPeImage::TRange& r : image.SignedRanges()) {
    file.SetPosition(static_cast<std::int64_t>(r.offset));
    for (std::uint64_t left = r.size; left > 0;) {
      const int n = static_cast<int>(std::min<std::uint64_t>(left, buffer.size()));
      file.ReadBuffer(&buffer[0], n);
      digest->Update(buffer.data(), static_cast<std::size_t>(n));
      left -= static_cast<std::uint64_t>(n);
    }
  }
  const std::string actual = digest->Final();
  if (actual != parts.digest) {
    out.problem = "the file was changed after it was signed (its " + out.algorithm + " digest is " + Hex(actual) +
                  ", the signature's " + Hex(parts.digest) + ")";
    return out;
  }
  if (!out.problem.empty()) return out;
  // The signature value: the signer's key over the signed attributes, DER-encoded as a SET.
  if (!hasCertificate || signer[5].tag != 0x04) {
    out.problem = "the signature carries no certificate of its signer";
    return out;
  }
  std::string signerDigestName;
  const std::vector<TDer> signerAlgorithm = DerChildren(table, signer[2]);
  const std::string attributesAsSet = "\x31" + DerBytes(table, signer[3]).substr(1);
  const std::string attributesDigest =
      signerAlgorithm.empty() ? "" : DigestOf(DerContent(table, signerAlgorithm[0]), attributesAsSet);
  if (!signerAlgorithm.empty()) DigestForOid(DerContent(table, signerAlgorithm[0]), signerDigestName);
  const platform::TSignatureValue value = platform::VerifySignatureValue(
      DerBytes(table, certificate), signerDigestName, attributesDigest, DerContent(table, signer[5]));
  if (!value.verifies) {
    out.problem = value.problem;
    return out;
  }
  out.valid = true;
  std::int64_t expiry = 0, when = static_cast<std::int64_t>(std::time(nullptr));
  const std::vector<TDer> validity = DerChildren(table, fields[3]);
  if (validity.size() == 2 && ReadTime(table, validity[1], expiry, out.expires)) out.expires.resize(10);
  // A time-stamped signature is judged as of its time stamp, as Windows judges it.
  out.timeStamp = TimeStampOf(table, signer, parts, when);
  std::vector<std::string> others;
  for (const TDer& c : DerChildren(table, parts.certificates))
    if (c.begin != certificate.begin) others.push_back(DerBytes(table, c));
  const platform::TChainCheck chain = platform::CheckCertificateChain(DerBytes(table, certificate), others, when);
  out.chainEnd = chain.end;
  out.chain = ChainClause(chain.end) + (chain.detail.empty() ? "" : ": " + VisibleBytes(chain.detail));
  return out;
}

std::string SignatureFacts(const TSignatureCheck& s) {
  return "by " + (s.signer.empty() ? std::string("(a signer this tool cannot read)") : s.signer) + "; the file's " +
         s.algorithm + " digest is the one signed, the signature value verifies, " + s.chain;
}

std::vector<std::string> SignatureWarnings(const TSignatureCheck& s) {
  std::vector<std::string> out;
  if (!s.valid) return out;
  if (s.chainEnd == platform::ChainEnd::Expired)
    out.push_back(s.chain + " (users' Windows will not trust this signature: sign with a renewed certificate)");
  else if (s.chainEnd != platform::ChainEnd::TrustedRoot)
    out.push_back(s.chain +
                  " (a test certificate? users' Windows will not trust this signature: sign a release "
                  "with the vendor's code-signing certificate)");
  if (s.timeStamp.empty())
    out.push_back("no time stamp: the signature stops being valid on " +
                  (s.expires.empty() ? std::string("the day its certificate expires") : s.expires) +
                  ", when the signing certificate expires (osslsigncode add -ts URL adds one)");
  return out;
}
