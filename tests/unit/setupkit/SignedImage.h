#pragma once
// An Authenticode signature made in memory for the vendor tool's tests: a certificate table
// holding PKCS #7 SignedData as a signing tool writes it (the image digest in an
// SpcIndirectDataContent, the signer's certificate, signed attributes with the content's
// digest, their RSA signature by a fixed 512-bit test key), appended to an image made by
// StubImage.h.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Digest.h"
#include "StubImage.h"

namespace signtest {

// clang-format off
const std::string kSha256(std::string("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9));
const std::string kSha512(std::string("\x60\x86\x48\x01\x65\x03\x04\x02\x03", 9));
// clang-format on

inline std::string Der(unsigned char tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = content.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    std::string bytes;
    for (std::size_t v = n; v > 0; v >>= 8) bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | bytes.size());
    out += bytes;
  }
  return out + content;
}
inline std::string Seq(const std::string& c) { return Der(0x30, c); }
inline std::string Set(const std::string& c) { return Der(0x31, c); }
inline std::string Oid(const std::string& c) { return Der(0x06, c); }
inline std::string Octets(const std::string& c) { return Der(0x04, c); }
inline std::string Algorithm(const std::string& oid) { return Seq(Oid(oid) + std::string("\x05\x00", 2)); }
inline std::string Name(const std::string& cn, const std::string& o) {
  return Seq(Set(Seq(Oid("\x55\x04\x03") + Der(0x0C, cn))) + Set(Seq(Oid("\x55\x04\x0A") + Der(0x13, o))));
}

/// The Authenticode digest of an image whose certificate table is, or will be, at its end.
inline std::string ImageDigest(const std::string& image, std::size_t tableAt, const std::string& oid = kSha256) {
  const std::size_t checksum = stubtest::kOptional + 64, entry = stubtest::DirectoryAt(4);
  return DigestOf(oid, image.substr(0, checksum) + image.substr(checksum + 4, entry - checksum - 4) +
                           image.substr(entry + 8, tableAt - entry - 8));
}

/// The image (8-byte aligned) with `table` appended as its certificate table.
inline std::string WithTable(std::string image, const std::string& table) {
  stubtest::Pad(image, 8);
  stubtest::Put32(image, stubtest::DirectoryAt(4), static_cast<std::uint32_t>(image.size()));
  stubtest::Put32(image, stubtest::DirectoryAt(4) + 4, static_cast<std::uint32_t>(table.size()));
  return image + table;
}

// The test key: modulus and private exponent, big-endian hex (public exponent 65537). Made
// once with `openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:512`; never a release's.
constexpr const char* kModulus =
    "b41dee8ae9284748c1988dd0a8a6ccf50d07aab3a7ad02340a264bf6d7566c06"
    "e5b455e065761a5932fc13b24bcdb52a90367e512abb220e58d4ec12bd1b456d";
constexpr const char* kPrivateExponent =
    "0d7f3cb3de1aed948f254e6337702065b08f458466e939040b4aa9609aec57f5"
    "e01bf0d001247a54effe4658da8b14132ee1414ebb09c97c11e66dd0849fd4c1";

inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// base^exponent mod modulus over 64-byte big-endian numbers, by shifts and subtractions (slow,
// and enough for one signature a test).
inline std::string PowMod(const std::string& base, const std::string& exponent, const std::string& modulus) {
  using TNumber = std::vector<std::uint32_t>;  // 17 words, least significant first
  auto read = [](const std::string& bytes) {
    TNumber n(17, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      n[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[bytes.size() - 1 - i])) << (8 * (i % 4));
    return n;
  };
  const TNumber m = read(modulus);
  auto notBelow = [&m](const TNumber& a) {
    for (std::size_t i = a.size(); i-- > 0;)
      if (a[i] != m[i]) return a[i] > m[i];
    return true;
  };
  auto subtract = [&m](TNumber& a) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const std::int64_t d = static_cast<std::int64_t>(a[i]) - m[i] - borrow;
      a[i] = static_cast<std::uint32_t>(d);
      borrow = d < 0;
    }
  };
  auto add = [](TNumber& a, const TNumber& b) {
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      carry += static_cast<std::uint64_t>(a[i]) + b[i];
      a[i] = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
  };
  auto multiply = [&](const TNumber& a, const TNumber& b) {  // a * b mod m, a and b below m
    TNumber r(17, 0);
    for (int bit = 16 * 32; bit-- > 0;) {
      add(r, r);
      if (notBelow(r)) subtract(r);
      if (a[bit / 32] >> (bit % 32) & 1) {
        add(r, b);
        if (notBelow(r)) subtract(r);
      }
    }
    return r;
  };
  TNumber result(17, 0), b = read(base);
  result[0] = 1;
  for (unsigned char byte : exponent)
    for (int bit = 7; bit >= 0; --bit) {
      result = multiply(result, result);
      if (byte >> bit & 1) result = multiply(result, b);
    }
  std::string out;
  for (std::size_t i = 64; i-- > 0;) out += static_cast<char>(result[i / 4] >> (8 * (i % 4)));
  return out;
}

/// The RSA signature (PKCS #1 v1.5, SHA-256) of `bytes` by the test key (kept: the fuzzer signs
/// the same attributes over and over).
inline std::string RsaSign(const std::string& bytes) {
  static std::map<std::string, std::string> made;
  if (const auto found = made.find(bytes); found != made.end()) return found->second;
  const std::string digestInfo =
      std::string("\x30\x31\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20", 19) +
      DigestOf(kSha256, bytes);
  const std::string padded =
      std::string("\x00\x01", 2) + std::string(64 - 3 - digestInfo.size(), '\xFF') + std::string(1, '\0') + digestInfo;
  return made[bytes] = PowMod(padded, FromHex(kPrivateExponent), FromHex(kModulus));
}

// clang-format off
const std::string kCodeSigning("\x2B\x06\x01\x05\x05\x07\x03\x03", 8);
const std::string kServerAuth("\x2B\x06\x01\x05\x05\x07\x03\x01", 8);
const std::string kTimeStamping("\x2B\x06\x01\x05\x05\x07\x03\x08", 8);
const std::string kRsa("\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01", 9);
const std::string kContentType("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03", 9);
const std::string kMessageDigest("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04", 9);
const std::string kSignedData("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9);
const std::string kTstInfo("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04", 11);
// clang-format on
inline const std::string kIssuer = Name("Parvalo test CA", "Parvalo");

/// A certificate issued by "Parvalo test CA" for the test key (its issuer's signature is not
/// made: no chain reaches a known root anyway). `usages`: extended key usage OIDs, none if empty.
inline std::string Certificate(const std::string& cn, const std::string& serial, const std::string& validity,
                               const std::vector<std::string>& usages) {
  const std::string rsaKey =
      Seq(Der(0x02, std::string(1, '\0') + FromHex(kModulus)) + Der(0x02, std::string("\x01\x00\x01", 3)));
  const std::string publicKey = Seq(Algorithm(kRsa) + Der(0x03, std::string(1, '\0') + rsaKey));
  std::string listed;
  for (const std::string& u : usages) listed += Oid(u);
  const std::string extensions = usages.empty() ? "" : Der(0xA3, Seq(Seq(Oid("\x55\x1D\x25") + Octets(Seq(listed)))));
  const std::string tbs = Seq(Der(0xA0, Der(0x02, "\x02")) + serial + Algorithm(kSha256) + kIssuer + validity +
                              Name(cn, "Parvalo") + publicKey + extensions);
  return Seq(tbs + Algorithm(kSha256) + Der(0x03, std::string("\x00\x42", 2)));
}

/// A SignerInfo by the test key over `attributes` (signed as a SET, stored as [0]).
inline std::string SignerInfo(const std::string& serial, const std::string& attributes, bool flipValue = false,
                              const std::string& unsignedAttributes = "") {
  std::string value = RsaSign(Set(attributes));
  if (flipValue) value[20] ^= 0x10;
  return Seq(Der(0x02, "\x01") + Seq(kIssuer + serial) + Algorithm(kSha256) + Der(0xA0, attributes) + Algorithm(kRsa) +
             Octets(value) + (unsignedAttributes.empty() ? "" : Der(0xA1, unsignedAttributes)));
}

enum class TStampKind { None, Rfc3161, Countersignature };

struct TSignOptions {
  std::string cn = "Parvalo release test";
  std::string oid = kSha256;       // the image digest's algorithm
  bool attributesMatch = true;     // the signed attributes hold the content's digest
  bool flipValue = false;          // one bit of the signature value changed after signing
  std::string unsignedAttributes;  // the content of the signer's [1] (a time stamp, say); none if empty
  std::string validity = Seq(Der(0x17, "260101000000Z") + Der(0x17, "491231235959Z"));
  std::vector<std::string> usages;  // the signer's certificate's extended key usages; none if empty
  // A time stamp by "Parvalo test TSA" (the test key too), made at stampTime:
  TStampKind stamp = TStampKind::None;
  std::string stampTime = "20250601120000Z";
  std::string stampedValue;    // the signature value it stamps; empty: this signature's own
  std::string stampTimeShown;  // the time written into it after it was made; empty: stampTime
};

/// The unsigned attributes of a time stamp of `value` (a signer's signature value), and the
/// time-stamping authority's certificate a countersignature needs beside the signer's.
inline std::string TimeStamp(const TSignOptions& o, const std::string& value, std::string& tsaCertificate) {
  const std::string serial = Der(0x02, "\x04\x56");
  tsaCertificate = Certificate("Parvalo test TSA", serial, Seq(Der(0x17, "240101000000Z") + Der(0x17, "351231235959Z")),
                               {kTimeStamping});
  const std::string stamped = DigestOf(kSha256, o.stampedValue.empty() ? value : o.stampedValue);
  const std::string shown = o.stampTimeShown.empty() ? o.stampTime : o.stampTimeShown;
  if (o.stamp == TStampKind::Countersignature) {
    auto attributes = [&](const std::string& time) {
      return Seq(Oid(kContentType) + Set(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01"))) +
             Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05") + Set(Der(0x17, time.substr(2)))) +
             Seq(Oid(kMessageDigest) + Set(Octets(stamped)));
    };
    const std::string signedTime = attributes(o.stampTime);
    std::string counter = SignerInfo(serial, signedTime);
    counter.replace(counter.find(signedTime), signedTime.size(), attributes(shown));
    return Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06") + Set(counter));
  }
  auto tstInfo = [&](const std::string& time) {
    return Seq(Der(0x02, "\x01") + Oid("\x2A\x03\x04\x01") + Seq(Algorithm(kSha256) + Octets(stamped)) +
               Der(0x02, "\x09") + Der(0x18, time));
  };
  const std::string attributes = Seq(Oid(kContentType) + Set(Oid(kTstInfo))) +
                                 Seq(Oid(kMessageDigest) + Set(Octets(DigestOf(kSha256, tstInfo(o.stampTime)))));
  const std::string token =
      Seq(Oid(kSignedData) + Der(0xA0, Seq(Der(0x02, "\x03") + Set(Algorithm(kSha256)) +
                                           Seq(Oid(kTstInfo) + Der(0xA0, Octets(tstInfo(shown)))) +
                                           Der(0xA0, tsaCertificate) + Set(SignerInfo(serial, attributes)))));
  tsaCertificate.clear();  // the token carries it
  return Seq(Oid("\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01") + Set(token));
}

/// The image with a signature of it appended and named in its certificate directory.
inline std::string Sign(std::string image, const TSignOptions& o = {}) {
  stubtest::Pad(image, 8);
  const std::size_t tableAt = image.size();
  std::string digest = ImageDigest(image, tableAt, o.oid);
  if (digest.empty()) digest = std::string(64, '\x11');  // an algorithm the tool need not know
  const std::string peImageData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x0F", 10);
  const std::string indirectData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 10);
  // SpcIndirectDataContent: the data's type and value, the image digest
  const std::string indirectFields = Seq(Oid(peImageData) + Seq("")) + Seq(Algorithm(o.oid) + Octets(digest));
  const std::string serial = Der(0x02, "\x01\x23");
  std::string certificates = Certificate(o.cn, serial, o.validity, o.usages);
  std::string contentDigest = DigestOf(kSha256, indirectFields);  // the content without its tag and length
  if (!o.attributesMatch) contentDigest[0] ^= 1;
  const std::string attributes =
      Seq(Oid(kContentType) + Set(Oid(indirectData))) + Seq(Oid(kMessageDigest) + Set(Octets(contentDigest)));
  std::string unsignedAttributes = o.unsignedAttributes;
  if (o.stamp != TStampKind::None) {
    std::string tsaCertificate;
    unsignedAttributes = TimeStamp(o, RsaSign(Set(attributes)), tsaCertificate);
    certificates += tsaCertificate;
  }
  const std::string signerInfo = SignerInfo(serial, attributes, o.flipValue, unsignedAttributes);
  const std::string signedData =
      Seq(Der(0x02, "\x01") + Set(Algorithm(kSha256)) + Seq(Oid(indirectData) + Der(0xA0, Seq(indirectFields))) +
          Der(0xA0, certificates) + Set(signerInfo));
  const std::string pkcs7 = Seq(Oid(kSignedData) + Der(0xA0, signedData));
  std::string table(8, '\0');
  stubtest::Put32(table, 0, static_cast<std::uint32_t>(8 + pkcs7.size()));
  stubtest::Put16(table, 4, 0x0200);
  stubtest::Put16(table, 6, 0x0002);
  table += pkcs7;
  stubtest::Pad(table, 8);
  return WithTable(image, table);
}

}  // namespace signtest
