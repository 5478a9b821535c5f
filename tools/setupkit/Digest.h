#pragma once
// The digests an Authenticode signature names for the image it signs: SHA-1 (FIPS 180-4) and
// SHA-256, and MD5 (codes/QORMD5Unit), behind one interface so that the signature's own
// algorithm identifier picks the engine.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TDigest {
 public:
  virtual ~TDigest() = default;
  virtual void Update(const void* data, std::size_t length) = 0;
  /// The digest's bytes; call once.
  virtual std::string Final() = 0;
};

/// The engine for a DER-encoded algorithm identifier OID (its content bytes, without tag and
/// length), or null for one this tool does not compute. `name` is set to what a person reads
/// ("SHA-256"), also for an unknown one ("OID 2.16.840.1.101.3.4.2.3").
std::unique_ptr<TDigest> DigestForOid(const std::string& oid, std::string& name);

/// The digest of a byte string in one call, by OID; empty for an unknown algorithm.
std::string DigestOf(const std::string& oid, const std::string& bytes);
