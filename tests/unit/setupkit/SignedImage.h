#pragma once
// An Authenticode signature made in memory for the vendor tool's tests: a certificate table
// holding PKCS #7 SignedData as a signing tool writes it (the image digest in an
// SpcIndirectDataContent, the signer's certificate, signed attributes with the content's
// digest), appended to an image made by StubImage.h. The RSA signature itself is filler: the
// tool reads the digest and the signer, it does not verify RSA.
#include <string>

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

struct TSignOptions {
  std::string cn = "Parvalo release test";
  std::string oid = kSha256;    // the image digest's algorithm
  bool attributesMatch = true;  // the signed attributes hold the content's digest
};

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
  const std::string issuer = Name("Parvalo test CA", "Parvalo");
  const std::string tbs =
      Seq(Der(0xA0, Der(0x02, "\x02")) + serial + Algorithm(kSha256) + issuer + Seq("") + Name(o.cn, "Parvalo"));
  const std::string certificate = Seq(tbs + Algorithm(kSha256) + Der(0x03, std::string("\x00\x42", 2)));
  std::string contentDigest = DigestOf(kSha256, indirectFields);  // the content without its tag and length
  if (!o.attributesMatch) contentDigest[0] ^= 1;
  const std::string attributes = Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03") + Set(Oid(indirectData))) +
                                 Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04") + Set(Octets(contentDigest)));
  const std::string signerInfo =
      Seq(Der(0x02, "\x01") + Seq(issuer + serial) + Algorithm(kSha256) + Der(0xA0, attributes) +
          Algorithm("\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01") + Octets(std::string(256, '\x5A')));
  const std::string signedData =
      Seq(Der(0x02, "\x01") + Set(Algorithm(kSha256)) + Seq(Oid(indirectData) + Der(0xA0, Seq(indirectFields))) +
          Der(0xA0, certificate) + Set(signerInfo));
  const std::string pkcs7 = Seq(Oid("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") + Der(0xA0, signedData));
  std::string table(8, '\0');
  stubtest::Put32(table, 0, static_cast<std::uint32_t>(8 + pkcs7.size()));
  stubtest::Put16(table, 4, 0x0200);
  stubtest::Put16(table, 6, 0x0002);
  table += pkcs7;
  stubtest::Pad(table, 8);
  return WithTable(image, table);
}

}  // namespace signtest
