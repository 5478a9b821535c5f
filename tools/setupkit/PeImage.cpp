#include "PeImage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

// Where the rebuilt resource section goes. mingw's ld places .rsrc after the code and data and
// then .reloc (the base relocations) behind it. The resource section grows in place, at its own
// address; a section behind it must move to a higher address. Moving any other section would
// break the code that addresses it, but the base relocation table is addressed only by its data
// directory, and its blocks name the pages they patch by RVA, so it moves unchanged: its RVA and
// file offset follow the new resource section and its directory follows it. Any other section
// after the resource section makes the stub refused. (The other road, a new resource section at
// the end with the old one left unreferenced, would carry the stub's old payload as dead weight.)

namespace {
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kPeOffsetField = 0x3C;
constexpr std::uint32_t kSectionHeaderSize = 40;

// Offsets in the COFF header (after the 4-byte signature) and in the PE32 optional header.
constexpr std::uint32_t kCoffSectionCount = 4 + 2;
constexpr std::uint32_t kCoffOptionalSize = 4 + 16;
constexpr std::uint32_t kCoffEnd = 4 + 20;
constexpr std::uint32_t kOptInitializedData = 8;
constexpr std::uint32_t kOptSectionAlignment = 32;
constexpr std::uint32_t kOptFileAlignment = 36;
constexpr std::uint32_t kOptImageSize = 56;
constexpr std::uint32_t kOptHeadersSize = 60;
constexpr std::uint32_t kOptChecksum = 64;
constexpr std::uint32_t kOptDirectoryCount = 92;
constexpr std::uint32_t kOptDirectories = 96;

constexpr std::uint32_t kDirResource = 2;
constexpr std::uint32_t kDirCertificates = 4;  // holds a file offset, not an RVA
constexpr std::uint32_t kDirBaseRelocations = 5;

constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kLeafSize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;  // a name is a string; a target is a directory
// The resource compiler starts every resource's bytes on an 8-byte boundary; so do we.
constexpr std::uint32_t kDataAlignment = 8;
constexpr std::uint64_t kMaxUint32 = std::numeric_limits<std::uint32_t>::max();

std::uint16_t Get16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
std::uint32_t Get32(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(Get16(s, at)) | static_cast<std::uint32_t>(Get16(s, at + 2)) << 16;
}
void Put16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
std::uint64_t AlignUp(std::uint64_t v, std::uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }
bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}
// How far a section reaches in memory (a linker may leave the virtual size 0).
std::uint64_t MemoryEnd(const TPeSection& s) {
  return static_cast<std::uint64_t>(s.virtualAddress) + (s.virtualSize ? s.virtualSize : s.rawSize);
}

// Passes writes on to a stream and sums them for the checksum.
class TChecksumStream : public TStream {
 public:
  explicit TChecksumStream(TStream& out) : out_(out) {}
  int Read(void*, int) override { return 0; }
  int Write(const void* buffer, int count) override {
    int n = out_.Write(buffer, count);
    if (n > 0) sum_.Add(buffer, static_cast<std::size_t>(n));
    return n;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { throw EPeImageError("Invalid stream operation"); }
  std::uint32_t Value() const { return sum_.Value(); }

 private:
  TStream& out_;
  TPeChecksum sum_;
};

void WriteZeros(TStream& out, std::uint64_t count) {
  static const char zeros[4096] = {};
  while (count > 0) {
    int n = static_cast<int>(std::min<std::uint64_t>(count, sizeof zeros));
    out.WriteBuffer(zeros, n);
    count -= static_cast<std::uint64_t>(n);
  }
}

void CopyRange(TStream& source, std::uint64_t offset, std::uint64_t count, TStream& out) {
  if (count == 0) return;  // CopyFrom takes 0 as "the whole source"
  source.SetPosition(static_cast<std::int64_t>(offset));
  out.CopyFrom(source, static_cast<std::int64_t>(count));
}
}  // namespace

// ---- resource ids ---------------------------------------------------------------------

TResourceId TResourceId::Number(std::uint32_t id) {
  TResourceId r;
  r.id = id;
  return r;
}

TResourceId TResourceId::Named(const std::string& ascii) {
  TResourceId r;
  r.named = true;
  for (char c : ascii) r.name += static_cast<char16_t>(static_cast<unsigned char>(c));
  return r;
}

bool operator==(const TResourceId& a, const TResourceId& b) {
  return a.named == b.named && (a.named ? a.name == b.name : a.id == b.id);
}

bool operator<(const TResourceId& a, const TResourceId& b) {
  if (a.named != b.named) return a.named;
  return a.named ? a.name < b.name : a.id < b.id;
}

// ---- checksum ---------------------------------------------------------------------------

void TPeChecksum::Add(const void* bytes, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::size_t i = 0;
  if ((length_ & 1) && count > 0) sum_ += odd_ | static_cast<std::uint32_t>(p[i++]) << 8;
  for (; i + 1 < count; i += 2) sum_ += p[i] | static_cast<std::uint32_t>(p[i + 1]) << 8;
  if (i < count) odd_ = p[i];
  length_ += count;
}

std::uint32_t TPeChecksum::Value() const {
  // Folding once at the end gives what folding the carry after every word gives.
  std::uint64_t s = sum_ + ((length_ & 1) ? odd_ : 0);
  while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
  return static_cast<std::uint32_t>(s + length_);
}

// ---- reading ------------------------------------------------------------------------------

TPeImage::TPeImage(TStream& file, TPeUse use) : file_(file), use_(use) {
  ReadHeaders();
  FindResourceSection();
  if (use_ == TPeUse::Rebuild) CheckPlacement();
  ReadResourceTree();
}

std::string TPeImage::CertificateTable() {
  std::string bytes(certSize_, '\0');
  if (certSize_ > 0) ReadAt(certOffset_, &bytes[0], certSize_);
  return bytes;
}

std::vector<TPeImage::TRange> TPeImage::SignedRanges() const {
  const std::uint64_t checksum = optional_ + kOptChecksum;
  const std::uint64_t end = certSize_ ? certOffset_ : fileSize_;  // the table lies past the headers
  if (directoryCount_ <= kDirCertificates) return {{0, checksum}, {checksum + 4, end - checksum - 4}};
  const std::uint64_t entry = optional_ + kOptDirectories + 8 * kDirCertificates;
  return {{0, checksum}, {checksum + 4, entry - checksum - 4}, {entry + 8, end - entry - 8}};
}

const TPeResource* TPeImage::FindResource(const TResourceId& type, const TResourceId& name) const {
  for (const auto& r : resources_)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

std::string TPeImage::ResourceBytes(const TPeResource& resource) {
  std::string bytes(resource.size, '\0');
  if (resource.source) {
    resource.source->SetPosition(static_cast<std::int64_t>(resource.offset));
    if (resource.size) resource.source->ReadBuffer(&bytes[0], static_cast<int>(resource.size));
  } else if (resource.size) {
    ReadAt(resource.offset, &bytes[0], resource.size);
  }
  return bytes;
}

void TPeImage::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) {
  if (offset > fileSize_ || count > fileSize_ - offset)
    throw EPeImageError("truncated: a structure runs past the end of the file");
  file_.SetPosition(static_cast<std::int64_t>(offset));
  file_.ReadBuffer(buffer, static_cast<int>(count));
}

void TPeImage::ReadHeaders() {
  fileSize_ = static_cast<std::uint64_t>(file_.Size());
  if (fileSize_ < kDosHeaderSize) throw EPeImageError("not a PE image: shorter than a DOS header");
  std::string dos(kDosHeaderSize, '\0');
  ReadAt(0, &dos[0], kDosHeaderSize);
  if (dos.compare(0, 2, "MZ") != 0) throw EPeImageError("not a PE image: no MZ header");
  const std::uint64_t pe = Get32(dos, kPeOffsetField);
  if (pe + kCoffEnd + kOptDirectories > fileSize_)
    throw EPeImageError("not a PE image: its headers lie past the end of the file");
  std::string coff(kCoffEnd + kOptDirectories, '\0');
  ReadAt(pe, &coff[0], static_cast<std::uint32_t>(coff.size()));
  if (coff.compare(0, 4, std::string("PE\0\0", 4)) != 0) throw EPeImageError("not a PE image: no PE signature");
  if (Get16(coff, kCoffEnd) != kPe32Magic)
    throw EPeImageError("not a PE32 image (a 64-bit or unknown optional header)");
  const std::uint32_t optionalSize = Get16(coff, kCoffOptionalSize);
  if (optionalSize < kOptDirectories) throw EPeImageError("damaged: the optional header is too short for PE32");
  const std::uint64_t table = pe + kCoffEnd + optionalSize;
  const std::uint64_t tableEnd =
      table + static_cast<std::uint64_t>(Get16(coff, kCoffSectionCount)) * kSectionHeaderSize;
  if (tableEnd > fileSize_) throw EPeImageError("damaged: the section table runs past the end of the file");
  optional_ = static_cast<std::uint32_t>(pe + kCoffEnd);
  sectionTable_ = static_cast<std::uint32_t>(table);
  headers_.assign(static_cast<std::size_t>(tableEnd), '\0');
  ReadAt(0, &headers_[0], static_cast<std::uint32_t>(tableEnd));

  fileAlignment_ = Get32(headers_, optional_ + kOptFileAlignment);
  sectionAlignment_ = Get32(headers_, optional_ + kOptSectionAlignment);
  // The file alignment is a power of two from 512 to 64 KiB, the section alignment no smaller.
  if (!IsPowerOfTwo(fileAlignment_) || fileAlignment_ < 0x200 || fileAlignment_ > 0x10000 ||
      !IsPowerOfTwo(sectionAlignment_) || sectionAlignment_ < fileAlignment_)
    throw EPeImageError("damaged: file alignment " + Hex(fileAlignment_) + " or section alignment " +
                        Hex(sectionAlignment_) + " out of range");
  directoryCount_ = Get32(headers_, optional_ + kOptDirectoryCount);
  if (directoryCount_ > (optionalSize - kOptDirectories) / 8)
    throw EPeImageError("damaged: the data directories run past the optional header");
  const std::uint32_t headersSize = Get32(headers_, optional_ + kOptHeadersSize);
  if (headersSize < tableEnd || headersSize > fileSize_)
    throw EPeImageError("damaged: the headers size " + Hex(headersSize) +
                        " does not cover the section table or exceeds the file");

  std::uint64_t rawEnd = headersSize;
  for (std::uint64_t at = table; at < tableEnd; at += kSectionHeaderSize) {
    TPeSection s;
    s.name = headers_.substr(static_cast<std::size_t>(at), 8);
    s.name.resize(std::strlen(s.name.c_str()));
    s.virtualSize = Get32(headers_, static_cast<std::size_t>(at + 8));
    s.virtualAddress = Get32(headers_, static_cast<std::size_t>(at + 12));
    s.rawSize = Get32(headers_, static_cast<std::size_t>(at + 16));
    s.rawPointer = Get32(headers_, static_cast<std::size_t>(at + 20));
    if (s.rawSize > 0) {
      const std::uint64_t end = static_cast<std::uint64_t>(s.rawPointer) + s.rawSize;
      if (s.rawPointer < headersSize || end > fileSize_)
        throw EPeImageError("damaged: section \"" + s.name + "\" lies outside the file or over its headers");
      rawEnd = std::max(rawEnd, end);
    }
    sections_.push_back(s);
  }

  if (directoryCount_ > kDirCertificates) {
    certOffset_ = Get32(headers_, optional_ + kOptDirectories + 8 * kDirCertificates);
    certSize_ = Get32(headers_, optional_ + kOptDirectories + 8 * kDirCertificates + 4);
  }
  if (use_ == TPeUse::Inspect) {
    if (certSize_ != 0 && (certOffset_ < rawEnd || certOffset_ > fileSize_ || certSize_ > fileSize_ - certOffset_))
      throw EPeImageError("damaged: the signature lies outside the file or over its sections");
    return;  // a signature, and whatever else follows the sections, is only looked at
  }
  if (certOffset_ != 0 || certSize_ != 0)
    throw EPeImageError("is signed: attaching would break its signature; attach before signing");
  // Symbols, a signature or appended data lie after the sections at file offsets that a
  // rebuilt resource section would move or overwrite.
  if (fileSize_ > rawEnd)
    throw EPeImageError(std::to_string(fileSize_ - rawEnd) +
                        " bytes follow the last section (symbols or appended data); strip them first");
}

std::uint32_t TPeImage::StoredChecksum() const { return Get32(headers_, optional_ + kOptChecksum); }

void TPeImage::FindResourceSection() {
  const std::uint32_t rva =
      directoryCount_ > kDirResource ? Get32(headers_, optional_ + kOptDirectories + 8 * kDirResource) : 0;
  if (rva == 0) throw EPeImageError("has no resource section");
  for (std::size_t i = 0; i < sections_.size(); ++i)
    if (sections_[i].virtualAddress == rva && sections_[i].rawSize > 0) rsrc_ = static_cast<int>(i);
  if (rsrc_ < 0) throw EPeImageError("damaged: the resource directory does not start a section with data");
}

void TPeImage::CheckPlacement() {
  const TPeSection& r = sections_[static_cast<std::size_t>(rsrc_)];
  const std::uint32_t relocRva = directoryCount_ > kDirBaseRelocations
                                     ? Get32(headers_, optional_ + kOptDirectories + 8 * kDirBaseRelocations)
                                     : 0;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    if (static_cast<int>(i) == rsrc_) continue;
    const TPeSection& s = sections_[i];
    if (s.virtualAddress >= r.virtualAddress) {
      if (reloc_ >= 0 || relocRva < s.virtualAddress || relocRva >= MemoryEnd(s))
        throw EPeImageError("section \"" + s.name +
                            "\" follows the resource section: only the base relocations may (the addresses of "
                            "others cannot move)");
      if (s.rawSize > 0 && s.rawPointer < static_cast<std::uint64_t>(r.rawPointer) + r.rawSize)
        throw EPeImageError("damaged: section \"" + s.name + "\" lies before the resource section in the file");
      reloc_ = static_cast<int>(i);
    } else if (MemoryEnd(s) > r.virtualAddress ||
               (s.rawSize > 0 && static_cast<std::uint64_t>(s.rawPointer) + s.rawSize > r.rawPointer)) {
      throw EPeImageError("damaged: section \"" + s.name +
                          "\" overlaps the resource section or lies after it in the file");
    }
  }
  // Every directory but the resource directory, the certificates (none, checked above) and the
  // moving base relocations must stay where it is, so must lie before the resource section.
  for (std::uint32_t d = 0; d < directoryCount_; ++d) {
    const std::uint32_t rva = Get32(headers_, optional_ + kOptDirectories + 8 * d);
    const std::uint32_t size = Get32(headers_, optional_ + kOptDirectories + 8 * d + 4);
    if (d == kDirResource || d == kDirCertificates || rva == 0 || size == 0) continue;
    const std::uint64_t end = static_cast<std::uint64_t>(rva) + size;
    if (d == kDirBaseRelocations && reloc_ >= 0) {
      if (end > MemoryEnd(sections_[static_cast<std::size_t>(reloc_)]))
        throw EPeImageError("damaged: the base relocations run past their section");
    } else if (end > r.virtualAddress) {
      throw EPeImageError("data directory " + std::to_string(d) + " lies in or after the resource section");
    }
  }
}

void TPeImage::ReadResourceTree() {
  // Every directory, entry, name and leaf takes its bytes of the section, so a tree that needs
  // more bytes than the section holds shares or repeats them (one name referred to by thousands
  // of entries, say); the rebuilt tree writes each of them out, so the budget stops such a tree
  // from multiplying the output.
  std::uint64_t budget = sections_[static_cast<std::size_t>(rsrc_)].rawSize;
  std::vector<std::uint32_t> open;
  ReadDirectory(0, 0, TPeResource{}, open, budget);
  // Resources do not share bytes; a tree whose leaves claim more than the section holds would
  // make the rebuilt image many times larger than the stub.
  std::uint64_t total = 0;
  for (const auto& r : resources_) total += r.size;
  if (total > sections_[static_cast<std::size_t>(rsrc_)].rawSize)
    throw EPeImageError("damaged: the resources overlap (together larger than their section)");
}

void TPeImage::ReadDirectory(std::uint32_t offset, int level, TPeResource leaf, std::vector<std::uint32_t>& open,
                             std::uint64_t& budget) {
  const TPeSection& r = sections_[static_cast<std::size_t>(rsrc_)];
  // Reads count bytes at an offset inside the resource section's data.
  auto section = [&](std::uint64_t at, std::uint64_t count) {
    if (at > r.rawSize || count > r.rawSize - at)
      throw EPeImageError("damaged: the resource tree points outside its section");
    std::string bytes(static_cast<std::size_t>(count), '\0');
    if (count > 0) ReadAt(r.rawPointer + at, &bytes[0], static_cast<std::uint32_t>(count));
    return bytes;
  };
  if (std::find(open.begin(), open.end(), offset) != open.end())
    throw EPeImageError("damaged: the resource tree loops");
  const std::string header = section(offset, kDirectoryHeaderSize);
  const std::uint64_t count = static_cast<std::uint64_t>(Get16(header, 12)) + Get16(header, 14);
  auto spend = [&budget](std::uint64_t bytes) {
    if (bytes > budget)
      throw EPeImageError(
          "damaged: the resource tree is larger than its section (it repeats "
          "directories, names or leaves)");
    budget -= bytes;
  };
  spend(kDirectoryHeaderSize + count * kDirectoryEntrySize);
  const std::string entries =
      section(static_cast<std::uint64_t>(offset) + kDirectoryHeaderSize, count * kDirectoryEntrySize);
  open.push_back(offset);
  for (std::size_t e = 0; e < entries.size(); e += kDirectoryEntrySize) {
    const std::uint32_t nameField = Get32(entries, e), target = Get32(entries, e + 4);
    TResourceId id = TResourceId::Number(nameField);
    if (nameField & kHighBit) {
      const std::uint64_t at = nameField & ~kHighBit;
      const std::string units = section(at + 2, 2 * static_cast<std::uint64_t>(Get16(section(at, 2), 0)));
      spend(2 + units.size());
      id = TResourceId::Named("");
      for (std::size_t u = 0; u < units.size(); u += 2) id.name += static_cast<char16_t>(Get16(units, u));
    }
    if (level < 2) {
      if (!(target & kHighBit)) throw EPeImageError("damaged: a resource type or name entry is not a directory");
      (level == 0 ? leaf.type : leaf.name) = id;
      ReadDirectory(target & ~kHighBit, level + 1, leaf, open, budget);
      continue;
    }
    if ((target & kHighBit) || id.named) throw EPeImageError("damaged: a resource language entry is not a leaf");
    spend(kLeafSize);
    const std::string data = section(target, kLeafSize);
    const std::uint32_t rva = Get32(data, 0);
    leaf.size = Get32(data, 4);
    leaf.codePage = Get32(data, 8);
    leaf.language = id.id;
    if (rva < r.virtualAddress || rva - r.virtualAddress > r.rawSize ||
        leaf.size > r.rawSize - (rva - r.virtualAddress))
      throw EPeImageError("damaged: resource data lies outside the resource section");
    leaf.offset = static_cast<std::uint64_t>(r.rawPointer) + (rva - r.virtualAddress);
    resources_.push_back(leaf);
  }
  open.pop_back();
}

void TPeImage::SetResource(const TResourceId& type, const TResourceId& name, TStream& source, std::uint32_t size) {
  TPeResource added;
  added.type = type;
  added.name = name;
  auto same = [&](const TPeResource& r) { return r.type == type && r.name == name; };
  auto first = std::find_if(resources_.begin(), resources_.end(), same);
  if (first != resources_.end()) {
    added.language = first->language;
    added.codePage = first->codePage;
  }
  resources_.erase(std::remove_if(resources_.begin(), resources_.end(), same), resources_.end());
  added.source = &source;
  added.offset = static_cast<std::uint64_t>(source.Position());
  added.size = size;
  resources_.push_back(added);
}

// ---- writing ------------------------------------------------------------------------------

struct TPeImage::TLayout {
  std::string tree;                       // directories, names and leaves
  std::vector<std::size_t> order;         // resources_ indexes in tree order
  std::vector<std::uint64_t> dataOffset;  // where each resource's bytes go, in tree order
  std::uint64_t size = 0;                 // the section's content
};

TPeImage::TLayout TPeImage::Layout() const {
  TLayout L;
  for (std::size_t i = 0; i < resources_.size(); ++i) L.order.push_back(i);
  std::stable_sort(L.order.begin(), L.order.end(), [this](std::size_t a, std::size_t b) {
    const TPeResource &x = resources_[a], &y = resources_[b];
    if (!(x.type == y.type)) return x.type < y.type;
    if (!(x.name == y.name)) return x.name < y.name;
    return x.language < y.language;
  });

  // Group the leaves: types, their names, each name's languages.
  struct TNameGroup {
    std::size_t first = 0, count = 0;
    std::uint64_t dir = 0;
  };
  struct TTypeGroup {
    std::vector<TNameGroup> names;
    std::uint64_t dir = 0;
  };
  std::vector<TTypeGroup> types;
  for (std::size_t k = 0; k < L.order.size(); ++k) {
    const TPeResource& r = resources_[L.order[k]];
    const TPeResource* prev = k > 0 ? &resources_[L.order[k - 1]] : nullptr;
    if (!prev || !(prev->type == r.type)) types.emplace_back();
    if (!prev || !(prev->type == r.type) || !(prev->name == r.name)) types.back().names.push_back({k, 0, 0});
    ++types.back().names.back().count;
  }

  // Directories breadth first, then the names, then the leaves, then the bytes.
  auto dirSize = [](std::size_t entries) {
    return kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint64_t>(entries);
  };
  std::uint64_t pos = dirSize(types.size());
  for (auto& t : types) {
    t.dir = pos;
    pos += dirSize(t.names.size());
  }
  for (auto& t : types)
    for (auto& n : t.names) {
      n.dir = pos;
      pos += dirSize(n.count);
    }
  std::vector<std::pair<std::uint64_t, const std::u16string*>> strings;
  auto nameField = [&](const TResourceId& id) -> std::uint64_t {
    if (!id.named) return id.id;
    strings.push_back({pos, &id.name});
    const std::uint64_t at = pos;
    pos += 2 + 2 * static_cast<std::uint64_t>(id.name.size());
    return kHighBit | at;
  };
  // Entries are filled after the layout is known; remember them as (offset, name, target).
  std::vector<std::array<std::uint64_t, 3>> entries;
  for (std::size_t t = 0; t < types.size(); ++t) {
    const TResourceId& type = resources_[L.order[types[t].names[0].first]].type;
    entries.push_back({kDirectoryHeaderSize + kDirectoryEntrySize * t, nameField(type), kHighBit | types[t].dir});
    for (std::size_t n = 0; n < types[t].names.size(); ++n) {
      const TNameGroup& g = types[t].names[n];
      entries.push_back({types[t].dir + kDirectoryHeaderSize + kDirectoryEntrySize * n,
                         nameField(resources_[L.order[g.first]].name), kHighBit | g.dir});
    }
  }
  const std::uint64_t leaves = AlignUp(pos, 4);
  pos = AlignUp(leaves + kLeafSize * static_cast<std::uint64_t>(L.order.size()), kDataAlignment);
  for (std::size_t k = 0; k < L.order.size(); ++k) {
    L.dataOffset.push_back(pos);
    L.size = pos + resources_[L.order[k]].size;
    pos = AlignUp(L.size, kDataAlignment);
  }
  if (L.order.empty()) L.size = leaves;
  if (L.size > kMaxUint32) throw EPeImageError("the resources would exceed 4 GiB");

  L.tree.assign(static_cast<std::size_t>(L.order.empty() ? leaves : L.dataOffset[0]), '\0');
  auto directory = [&](std::uint64_t at, const std::vector<const TResourceId*>& ids) {
    std::size_t named = 0;
    for (const TResourceId* id : ids) named += id->named ? 1 : 0;
    Put16(L.tree, static_cast<std::size_t>(at + 12), static_cast<std::uint32_t>(named));
    Put16(L.tree, static_cast<std::size_t>(at + 14), static_cast<std::uint32_t>(ids.size() - named));
  };
  std::vector<const TResourceId*> typeIds;
  for (const auto& t : types) {
    typeIds.push_back(&resources_[L.order[t.names[0].first]].type);
    std::vector<const TResourceId*> nameIds;
    for (const auto& n : t.names) {
      nameIds.push_back(&resources_[L.order[n.first]].name);
      for (std::size_t k = 0; k < n.count; ++k) {
        const std::size_t leaf = n.first + k;
        const TPeResource& r = resources_[L.order[leaf]];
        const std::uint64_t at = leaves + kLeafSize * leaf;
        entries.push_back({n.dir + kDirectoryHeaderSize + kDirectoryEntrySize * k, r.language, at});
        Put32(
            L.tree, static_cast<std::size_t>(at),
            static_cast<std::uint32_t>(sections_[static_cast<std::size_t>(rsrc_)].virtualAddress + L.dataOffset[leaf]));
        Put32(L.tree, static_cast<std::size_t>(at + 4), r.size);
        Put32(L.tree, static_cast<std::size_t>(at + 8), r.codePage);
      }
      Put16(L.tree, static_cast<std::size_t>(n.dir + 14), static_cast<std::uint32_t>(n.count));
    }
    directory(t.dir, nameIds);
  }
  directory(0, typeIds);
  for (const auto& e : entries) {
    Put32(L.tree, static_cast<std::size_t>(e[0]), static_cast<std::uint32_t>(e[1]));
    Put32(L.tree, static_cast<std::size_t>(e[0] + 4), static_cast<std::uint32_t>(e[2]));
  }
  for (const auto& s : strings) {
    Put16(L.tree, static_cast<std::size_t>(s.first), static_cast<std::uint32_t>(s.second->size()));
    for (std::size_t u = 0; u < s.second->size(); ++u)
      Put16(L.tree, static_cast<std::size_t>(s.first + 2 + 2 * u), (*s.second)[u]);
  }
  return L;
}

void TPeImage::Write(TStream& out) const {
  if (use_ != TPeUse::Rebuild || IsSigned())
    throw EPeImageError("an image read only to be looked at cannot be written");
  const TLayout L = Layout();
  const TPeSection& r = sections_[static_cast<std::size_t>(rsrc_)];
  const std::uint64_t rawSize = AlignUp(L.size, fileAlignment_);
  std::vector<TPeSection> sections = sections_;
  sections[static_cast<std::size_t>(rsrc_)].virtualSize = static_cast<std::uint32_t>(L.size);
  sections[static_cast<std::size_t>(rsrc_)].rawSize = static_cast<std::uint32_t>(rawSize);
  std::string h = headers_;
  auto directory = [&](std::uint32_t d) { return static_cast<std::size_t>(optional_ + kOptDirectories + 8 * d); };
  Put32(h, directory(kDirResource) + 4, static_cast<std::uint32_t>(L.size));
  if (reloc_ >= 0) {
    TPeSection& s = sections[static_cast<std::size_t>(reloc_)];
    const std::uint64_t va = AlignUp(r.virtualAddress + L.size, sectionAlignment_);
    if (va > kMaxUint32 || r.rawPointer + rawSize > kMaxUint32) throw EPeImageError("the image would exceed 4 GiB");
    Put32(h, directory(kDirBaseRelocations),
          Get32(h, directory(kDirBaseRelocations)) - s.virtualAddress + static_cast<std::uint32_t>(va));
    s.virtualAddress = static_cast<std::uint32_t>(va);
    if (s.rawSize > 0) s.rawPointer = static_cast<std::uint32_t>(r.rawPointer + rawSize);
  }
  std::uint64_t imageEnd = 0, fileEnd = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const TPeSection& s = sections[i];
    const std::size_t at = sectionTable_ + kSectionHeaderSize * i;
    Put32(h, at + 8, s.virtualSize);
    Put32(h, at + 12, s.virtualAddress);
    Put32(h, at + 16, s.rawSize);
    Put32(h, at + 20, s.rawPointer);
    imageEnd = std::max(imageEnd, MemoryEnd(s));
    fileEnd = std::max(fileEnd, static_cast<std::uint64_t>(s.rawPointer) + s.rawSize);
  }
  imageEnd = AlignUp(imageEnd, sectionAlignment_);
  if (imageEnd > kMaxUint32 || fileEnd > kMaxUint32) throw EPeImageError("the image would exceed 4 GiB");
  Put32(h, optional_ + kOptImageSize, static_cast<std::uint32_t>(imageEnd));
  // The linker sums the raw sizes rounded up to the file alignment, whatever it stored.
  Put32(h, optional_ + kOptInitializedData,
        Get32(h, optional_ + kOptInitializedData) - static_cast<std::uint32_t>(AlignUp(r.rawSize, fileAlignment_)) +
            static_cast<std::uint32_t>(rawSize));
  Put32(h, optional_ + kOptChecksum, 0);

  const std::int64_t start = out.Position();
  TChecksumStream sink(out);
  sink.WriteBuffer(h.data(), static_cast<int>(h.size()));
  CopyRange(file_, h.size(), r.rawPointer - h.size(), sink);
  sink.WriteBuffer(L.tree.data(), static_cast<int>(L.tree.size()));
  std::uint64_t written = L.tree.size();
  for (std::size_t k = 0; k < L.order.size(); ++k) {
    const TPeResource& res = resources_[L.order[k]];
    WriteZeros(sink, L.dataOffset[k] - written);
    CopyRange(res.source ? *res.source : file_, res.offset, res.size, sink);
    written = L.dataOffset[k] + res.size;
  }
  WriteZeros(sink, rawSize - written);
  if (reloc_ >= 0) {
    const TPeSection& s = sections_[static_cast<std::size_t>(reloc_)];
    CopyRange(file_, s.rawPointer, s.rawSize, sink);
  }
  std::string sum(4, '\0');
  Put32(sum, 0, sink.Value());
  out.SetPosition(start + optional_ + kOptChecksum);
  out.WriteBuffer(sum.data(), 4);
  out.Seek(0, soEnd);
}
