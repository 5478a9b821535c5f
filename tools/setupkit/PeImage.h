#pragma once
// A PE32 image read as far as a resource editor needs: the headers, the section table and the
// resource tree, and written back with its resource section rebuilt. Nothing is held in memory
// but the headers and the tree; resource bytes are copied from where they lie when written.
//
//   offset              size  field (all little-endian)
//   0                   2     "MZ"
//   0x3C                4     e_lfanew: offset of the PE signature
//   e_lfanew            4     "PE\0\0"
//   e_lfanew+4          20    COFF header: machine, section count (+2), time stamp,
//                             symbol table pointer (+8), symbol count, optional header size (+16)
//   e_lfanew+24         ...   optional header (PE32: magic 0x10B): section alignment (+32), file
//                             alignment (+36), initialised data size (+8), image size (+56),
//                             headers size (+60), checksum (+64), directory count (+92),
//                             data directories (+96, 8 bytes each: RVA, size)
//   then                40 x  section headers: name, virtual size, RVA, raw size, raw pointer, ...
//
// The resource tree has three levels (type, name, language); a directory is 16 bytes followed
// by 8-byte entries, names first in code unit order, then numbers in ascending order. A name is
// a 16-bit length and that many UTF-16 code units; a leaf is 16 bytes: RVA, size, code page, 0.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Classes.h"

/// A stub that is not a PE32 image this tool can rebuild, or whose structures are damaged.
SETUPTQ_EXCEPTION(EPeImageError, Exception);

/// A resource type or name: a number or a string of UTF-16 code units.
struct TResourceId {
  bool named = false;
  std::uint32_t id = 0;
  std::u16string name;

  static TResourceId Number(std::uint32_t id);
  /// From ASCII text (the resource compiler stores names in upper case; so does the loader's
  /// lookup, so pass them in upper case).
  static TResourceId Named(const std::string& ascii);
};
bool operator==(const TResourceId& a, const TResourceId& b);
/// The order of a resource directory: names in code unit order, then numbers ascending.
bool operator<(const TResourceId& a, const TResourceId& b);

/// One leaf of the resource tree and where its bytes are.
struct TPeResource {
  TResourceId type, name;
  std::uint32_t language = 0;
  std::uint32_t codePage = 0;
  /// Null: the bytes lie in the image file at `offset`; else in this stream at `offset`.
  TStream* source = nullptr;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
};

struct TPeSection {
  std::string name;
  std::uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
};

/// Standard PE checksum: the 16-bit one's-complement sum of the file's 16-bit little-endian
/// words (the checksum field counted as zero), folded, plus the file's length.
class TPeChecksum {
 public:
  void Add(const void* bytes, std::size_t count);
  std::uint32_t Value() const;

 private:
  std::uint64_t sum_ = 0;
  std::uint64_t length_ = 0;
  unsigned char odd_ = 0;  // the first byte of a word whose second byte is yet to come
};

/// What an image is read for: rebuilding its resource section (attach), or only looking at it
/// (a signed launcher, whose signature and any bytes after the sections are then allowed).
enum class TPeUse { Rebuild, Inspect };

class TPeImage {
 public:
  /// Reads and checks the image in file (which must outlive this object). Raises EPeImageError
  /// with a one-line reason for anything else than a PE32 image whose resource section can be
  /// rebuilt: bad or truncated headers, a signature (the certificate table is not empty), no
  /// resource section, a section other than the base relocations after it, data after the last
  /// section, a damaged resource tree. For TPeUse::Inspect only the headers and the resource
  /// tree must be sound.
  explicit TPeImage(TStream& file, TPeUse use = TPeUse::Rebuild);
  /// Whether the certificate table (an Authenticode signature) is present.
  bool IsSigned() const { return certSize_ != 0; }
  /// The certificate table's bytes (WIN_CERTIFICATE records), empty when unsigned.
  std::string CertificateTable();
  /// What an Authenticode digest of the image covers: the file up to its certificate table,
  /// without the checksum field and the certificate table's directory entry.
  struct TRange {
    std::uint64_t offset, size;
  };
  std::vector<TRange> SignedRanges() const;
  /// Bytes after the certificate table: no signature covers them.
  std::uint64_t BytesAfterCertificates() const { return certSize_ ? fileSize_ - certOffset_ - certSize_ : 0; }
  /// The first resource of this type and name (any language), or null.
  const TPeResource* FindResource(const TResourceId& type, const TResourceId& name) const;
  /// A resource's bytes as the image holds them.
  std::string ResourceBytes(const TPeResource& resource);

  const std::vector<TPeSection>& Sections() const { return sections_; }
  const std::vector<TPeResource>& Resources() const { return resources_; }
  /// The checksum field as stored.
  std::uint32_t StoredChecksum() const;

  /// Replaces every resource of this type and name by one of `size` bytes that `source` holds
  /// from its current position (source must outlive the writing). It keeps the language of the
  /// first one replaced, or takes language 0 (neutral) when there was none.
  void SetResource(const TResourceId& type, const TResourceId& name, TStream& source, std::uint32_t size);

  /// Writes the image with its resource section rebuilt from Resources(): every section before
  /// it unchanged; the base relocations, when they follow it, moved behind it; section table,
  /// image size, initialised data size, resource and relocation directories and checksum set to
  /// match. The same model gives the same bytes.
  void Write(TStream& out) const;

 private:
  struct TLayout;
  void ReadHeaders();
  void FindResourceSection();
  void CheckPlacement();
  void ReadResourceTree();
  void ReadDirectory(std::uint32_t offset, int level, TPeResource leaf, std::vector<std::uint32_t>& open,
                     std::uint64_t& budget);

  void ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count);
  TLayout Layout() const;

  TStream& file_;
  TPeUse use_;
  std::uint32_t certOffset_ = 0, certSize_ = 0;
  std::uint64_t fileSize_ = 0;
  std::string headers_;         // the first SizeOfHeaders bytes
  std::uint32_t optional_ = 0;  // offset of the optional header
  std::uint32_t sectionTable_ = 0;
  std::uint32_t fileAlignment_ = 0, sectionAlignment_ = 0;
  std::uint32_t directoryCount_ = 0;
  std::vector<TPeSection> sections_;
  int rsrc_ = -1;   // index of the resource section
  int reloc_ = -1;  // index of the base relocation section when it follows the resource section
  std::vector<TPeResource> resources_;
};
