#include "Authenticode.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "Digest.h"
#include "ReplyPublish.h"

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

std::string SignerOf(const std::string& t, const TSignedParts& p) {
  if (!p.hasCertificates) return "";
  const std::vector<TDer> signer = DerChildren(t, p.signer);
  if (signer.size() < 2) return "";
  const std::vector<TDer> issuerAndSerial = DerChildren(t, signer[1]);
  if (issuerAndSerial.size() != 2) return "";
  for (const TDer& certificate : DerChildren(t, p.certificates)) {
    const std::vector<TDer> outer = DerChildren(t, certificate);
    if (outer.empty()) continue;
    std::vector<TDer> tbs = DerChildren(t, outer[0]);
    if (!tbs.empty() && tbs[0].tag == 0xA0) tbs.erase(tbs.begin());  // the version
    // serial, signature algorithm, issuer, validity, subject
    if (tbs.size() < 5) continue;
    if (DerBytes(t, tbs[0]) == DerBytes(t, issuerAndSerial[1]) &&
        DerBytes(t, tbs[2]) == DerBytes(t, issuerAndSerial[0]))
      return NameText(t, tbs[4]);
  }
  return "";
}

}  // namespace

TSignatureCheck CheckSignature(TStream& file, TPeImage& image) {
  TSignatureCheck out;
  out.present = image.IsSigned();
  if (!out.present) return out;
  const std::string table = image.CertificateTable();
  TSignedParts parts;
  if (!ReadSignedData(table, parts, out.problem)) return out;
  out.signer = SignerOf(table, parts);
  std::unique_ptr<TDigest> digest = DigestForOid(parts.digestOid, out.algorithm);
  if (!digest) {
    out.problem = "its digest algorithm (" + out.algorithm + ") is not one this tool computes";
    return out;
  }
  if (!AttributesCoverDigest(table, parts)) {
    out.problem = "its signed attributes do not hold the digest of the signed content";
    return out;
  }
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
  out.valid = out.problem.empty();
  return out;
}
