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
const std::string kOidCodeSigning("\x2B\x06\x01\x05\x05\x07\x03\x03", 8);     // 1.3.6.1.5.5.7.3.3
const std::string kOidTimeStamping("\x2B\x06\x01\x05\x05\x07\x03\x08", 8);    // 1.3.6.1.5.5.7.3.8
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
  TDer top, signedData;
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

// Whether a SignerInfo (version, signer, digestAlgorithm, [0] signedAttributes,
// signatureAlgorithm, signature, ...) signs `content`: its messageDigest attribute is the digest
// of `content` by its own algorithm, and its signature value over those attributes (DER-encoded
// as a SET) verifies with the key of `certificate`. Empty when it does, else why not
// (`notCovered` when the digest is another's).
std::string SignerInfoProblem(const std::string& t, const std::vector<TDer>& signer, const TDer& certificate,
                              const std::string& content, const std::string& notCovered) {
  if (signer.size() < 6 || signer[3].tag != 0xA0 || signer[5].tag != 0x04)
    return "its signer information cannot be read";
  const std::vector<TDer> algorithm = DerChildren(t, signer[2]);
  if (algorithm.empty() || algorithm[0].tag != 0x06) return "its signer information cannot be read";
  std::string digestName;
  if (!DigestForOid(DerContent(t, algorithm[0]), digestName))
    return "its digest algorithm (" + digestName + ") is not one this tool computes";
  TDer messageDigest;
  if (!AttributeValue(t, signer[3], kOidMessageDigest, messageDigest) || messageDigest.tag != 0x04 ||
      DerContent(t, messageDigest) != DigestOf(DerContent(t, algorithm[0]), content))
    return notCovered;
  const std::string attributesAsSet = "\x31" + DerBytes(t, signer[3]).substr(1);
  const platform::TSignatureValue value =
      platform::VerifySignatureValue(DerBytes(t, certificate), digestName,
                                     DigestOf(DerContent(t, algorithm[0]), attributesAsSet), DerContent(t, signer[5]));
  return value.verifies ? "" : value.problem;
}

// Whether a certificate may be used for `usage` (an extended key usage OID's content), as
// Windows decides: a certificate that lists extended key usages must list this one or any.
bool CertificateAllows(const std::string& t, const TDer& certificate, const std::string& usage) {
  static const std::string kOidExtendedKeyUsage("\x55\x1D\x25", 3), kOidAnyUsage("\x55\x1D\x25\x00", 4);
  const std::vector<TDer> tbs = CertificateFields(t, certificate);
  for (std::size_t i = 6; i < tbs.size(); ++i) {
    TDer extensions;
    if (tbs[i].tag != 0xA3 || !DerAt(t, tbs[i].start, tbs[i].end, extensions)) continue;
    for (const TDer& extension : DerChildren(t, extensions)) {
      const std::vector<TDer> parts = DerChildren(t, extension);  // id, [critical,] value
      if (parts.size() < 2 || !IsOid(t, parts[0], kOidExtendedKeyUsage) || parts.back().tag != 0x04) continue;
      TDer usages;
      if (!DerAt(t, parts.back().start, parts.back().end, usages)) return false;
      for (const TDer& listed : DerChildren(t, usages))
        if (IsOid(t, listed, usage) || IsOid(t, listed, kOidAnyUsage)) return true;
      return false;
    }
  }
  return true;
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

// A time stamp among a SignerInfo's unsigned attributes, read and checked: an RFC 3161 token (a
// SignedData of its own, whose TSTInfo holds the time and the digest of the signature value it
// stamps) or an Authenticode countersignature (a SignerInfo over the signature value, its
// signer's certificate among the signature's, its time a signed attribute).
struct TStamp {
  bool present = false;
  std::string problem;  // why it does not verify; empty: it does
  std::string by, time;
  std::int64_t when = 0;
  std::string certificate;          // the time-stamping authority's, DER
  std::vector<std::string> others;  // the further certificates its chain may use
};

TStamp ReadTimeStamp(const std::string& t, const std::vector<TDer>& signer, const TSignedParts& p) {
  TStamp out;
  const auto unsignedAt = std::find_if(signer.begin() + 6, signer.end(), [](const TDer& e) { return e.tag == 0xA1; });
  if (unsignedAt == signer.end()) return out;
  const std::string signatureValue = DerContent(t, signer[5]);
  TDer value, certificates, certificate, time;
  std::vector<TDer> stampSigner;
  std::string content, notCovered;
  bool hasCertificates = false, hasTime = false;
  if (AttributeValue(t, *unsignedAt, kOidCounterSignature, value)) {
    out.present = true;
    stampSigner = DerChildren(t, value);
    content = signatureValue;
    notCovered = "it stamps another signature (its digest is not that of this signature value)";
    certificates = p.certificates;
    hasCertificates = p.hasCertificates;
    hasTime = stampSigner.size() >= 4 && stampSigner[3].tag == 0xA0 &&
              AttributeValue(t, stampSigner[3], kOidSigningTime, time);
  } else if (AttributeValue(t, *unsignedAt, kOidRfc3161Stamp, value)) {
    out.present = true;
    // ContentInfo { signedData, [0] SignedData { version, algorithms, { tSTInfo, [0] OCTET STRING
    // { TSTInfo { version, policy, imprint, serial, genTime, ... } } }, [0] certificates, ..., signers } }
    const std::vector<TDer> info = DerChildren(t, value);
    TDer token, octets, tst;
    const std::vector<TDer> fields =
        info.size() == 2 && info[1].tag == 0xA0 && DerAt(t, info[1].start, info[1].end, token) && token.tag == 0x30
            ? DerChildren(t, token)
            : std::vector<TDer>{};
    const std::vector<TDer> encapsulated =
        fields.size() >= 4 && fields[2].tag == 0x30 ? DerChildren(t, fields[2]) : std::vector<TDer>{};
    const std::vector<TDer> tstInfo = encapsulated.size() == 2 && encapsulated[1].tag == 0xA0 &&
                                              DerAt(t, encapsulated[1].start, encapsulated[1].end, octets) &&
                                              octets.tag == 0x04 && DerAt(t, octets.start, octets.end, tst)
                                          ? DerChildren(t, tst)
                                          : std::vector<TDer>{};
    const std::vector<TDer> imprint = tstInfo.size() >= 5 ? DerChildren(t, tstInfo[2]) : std::vector<TDer>{};
    const std::vector<TDer> imprintAlgorithm = imprint.size() == 2 ? DerChildren(t, imprint[0]) : std::vector<TDer>{};
    if (imprintAlgorithm.empty() || imprintAlgorithm[0].tag != 0x06 || imprint[1].tag != 0x04)
      return out.problem = "its time-stamp information cannot be read", out;
    if (DerContent(t, imprint[1]) != DigestOf(DerContent(t, imprintAlgorithm[0]), signatureValue))
      return out.problem =
                 "it stamps another signature (its message imprint is not the digest of this signature "
                 "value)",
             out;
    const std::vector<TDer> signers = DerChildren(t, fields.back());
    if (!signers.empty()) stampSigner = DerChildren(t, signers[0]);
    content = DerContent(t, octets);
    notCovered = "its signed attributes do not hold the digest of its time-stamp information";
    certificates = fields[3];
    hasCertificates = fields[3].tag == 0xA0;
    time = tstInfo[4];
    hasTime = true;
  } else {
    return out;
  }
  if (stampSigner.size() < 2 || !hasCertificates || !CertificateNamed(t, certificates, stampSigner[1], certificate))
    return out.problem = "it carries no certificate of its signer", out;
  out.by = NameText(t, CertificateFields(t, certificate)[4]);
  out.problem = SignerInfoProblem(t, stampSigner, certificate, content, notCovered);
  if (out.problem.empty() && !(hasTime && ReadTime(t, time, out.when, out.time)))
    out.problem = "its time cannot be read";
  if (out.problem.empty() && !CertificateAllows(t, certificate, kOidTimeStamping))
    out.problem = "its signer's certificate is not for time stamping";
  out.certificate = DerBytes(t, certificate);
  for (const TDer& c : DerChildren(t, certificates))
    if (c.begin != certificate.begin) out.others.push_back(DerBytes(t, c));
  return out;
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

std::string ChainText(const platform::TChainCheck& chain) {
  return ChainClause(chain.end) + (chain.detail.empty() ? "" : ": " + VisibleBytes(chain.detail));
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
  if (!hasCertificate) {
    out.problem = "the signature carries no certificate of its signer";
    return out;
  }
  out.problem = SignerInfoProblem(table, signer, certificate, DerContent(table, parts.indirect),
                                  "its signed attributes do not hold the digest of the signed content");
  if (out.problem.empty() && !CertificateAllows(table, certificate, kOidCodeSigning))
    out.problem = "the signer's certificate is not for code signing";
  if (!out.problem.empty()) return out;
  out.valid = true;
  std::int64_t expiry = 0, when = static_cast<std::int64_t>(std::time(nullptr));
  const std::vector<TDer> validity = DerChildren(table, fields[3]);
  if (validity.size() == 2 && ReadTime(table, validity[1], expiry, out.expires)) out.expires.resize(10);
  // A signature with a time stamp that verifies is judged as of the stamp's time, as Windows
  // judges it; any other as of now.
  const TStamp stamp = ReadTimeStamp(table, signer, parts);
  if (stamp.present && stamp.problem.empty()) {
    when = stamp.when;
    out.timeStamp = "by " +
                    (stamp.by.empty() ? std::string("(a time-stamping authority this tool cannot read)") : stamp.by) +
                    ", " + stamp.time;
    const platform::TChainCheck chain = platform::CheckCertificateChain(stamp.certificate, stamp.others, when);
    out.timeStampChainEnd = chain.end;
    out.timeStampChain = ChainText(chain);
  } else if (stamp.present) {
    out.timeStampProblem = stamp.problem;
  }
  std::vector<std::string> others;
  for (const TDer& c : DerChildren(table, parts.certificates))
    if (c.begin != certificate.begin) others.push_back(DerBytes(table, c));
  const platform::TChainCheck chain = platform::CheckCertificateChain(DerBytes(table, certificate), others, when);
  out.chainEnd = chain.end;
  out.chain = ChainText(chain);
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
  const std::string lastDay = "the signature stops being valid on " +
                              (s.expires.empty() ? std::string("the day its certificate expires") : s.expires) +
                              ", when the signing certificate expires";
  if (!s.timeStampProblem.empty())
    out.push_back(TimeStampText(s) + " (its time is not used: " + lastDay + ")");
  else if (s.timeStamp.empty())
    out.push_back("no time stamp: " + lastDay + " (osslsigncode add -ts URL adds one)");
  else if (s.timeStampChainEnd != platform::ChainEnd::TrustedRoot)
    out.push_back("the time stamp " + s.timeStamp + ": " + s.timeStampChain +
                  " (users' Windows will not count it: stamp with an authority whose root Windows trusts)");
  return out;
}

std::string TimeStampText(const TSignatureCheck& s) {
  if (!s.timeStampProblem.empty()) return "a time stamp that does not verify: " + s.timeStampProblem;
  return s.timeStamp.empty() ? "none" : s.timeStamp + "; " + s.timeStampChain;
}
