#pragma once
// PE32 images built in memory for the vendor tool's tests: stubs with their resource section laid
// out as a resource compiler might (depth first, bytes right after the leaves), so the reader
// meets a layout other than the one it writes.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "PeImage.h"

namespace stubtest {

// The settings a stub of the demo configuration carries.
constexpr const char* kSettings =
    "product-code=QORTQ\nversion=3.6\ninstaller=instTQ.exe\nhome-page=http://127.0.0.13:8080/\n"
    "mirror=http://127.0.0.11:8080/\nmirror=http://127.0.0.12:8080/\nmirror=http://127.0.0.13:8080/\n";

inline void Put16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
inline void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
inline std::uint32_t Get32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}
inline void Pad(std::string& s, std::size_t alignment) {
  s.resize((s.size() + alignment - 1) / alignment * alignment, '\0');
}

// The stubs' fixed layout: PE header at 0x40, optional header at 0x58, directories at 0xB8,
// section table at 0x138; .text at RVA 0x1000, .rsrc at 0x2000, .reloc behind it.
constexpr std::size_t kOptional = 0x58, kDirectories = kOptional + 96, kTable = kOptional + 224;
constexpr std::uint32_t kRsrcRva = 0x2000, kFileAlign = 0x200, kSectionAlign = 0x1000;
inline std::size_t DirectoryAt(int d) { return kDirectories + 8 * static_cast<std::size_t>(d); }
inline std::size_t SectionAt(int i) { return kTable + 40 * static_cast<std::size_t>(i); }

// type -> name -> language -> bytes
using TTree = std::map<TResourceId, std::map<TResourceId, std::map<std::uint32_t, std::string>>>;

inline bool IsNamed(const TResourceId& id) { return id.named; }
inline bool IsNamed(std::uint32_t) { return false; }  // a language

inline std::string ResourceSection(const TTree& tree) {
  std::string s;
  std::vector<std::pair<std::size_t, const std::u16string*>> names;
  std::vector<std::pair<std::size_t, const std::string*>> leaves;
  auto directory = [&s](const auto& children) {
    std::size_t at = s.size(), named = 0;
    for (const auto& c : children) named += IsNamed(c.first) ? 1 : 0;
    s.append(16, '\0');
    Put16(s, at + 12, static_cast<std::uint32_t>(named));
    Put16(s, at + 14, static_cast<std::uint32_t>(children.size() - named));
    s.append(8 * children.size(), '\0');
    return at + 16;
  };
  auto entry = [&](std::size_t& at, const TResourceId& id) {
    if (id.named)
      names.push_back({at, &id.name});
    else
      Put32(s, at, id.id);
    Put32(s, at + 4, 0x80000000u | static_cast<std::uint32_t>(s.size()));
    at += 8;
  };
  std::size_t typeEntry = directory(tree);
  for (const auto& [type, byName] : tree) {
    entry(typeEntry, type);
    std::size_t nameEntry = directory(byName);
    for (const auto& [name, byLanguage] : byName) {
      entry(nameEntry, name);
      std::size_t langEntry = directory(byLanguage);
      for (const auto& [language, bytes] : byLanguage) {
        Put32(s, langEntry, language);
        leaves.push_back({langEntry + 4, &bytes});
        langEntry += 8;
      }
    }
  }
  for (const auto& [at, name] : names) {
    Put32(s, at, 0x80000000u | static_cast<std::uint32_t>(s.size()));
    s.append(2 + 2 * name->size(), '\0');
    Put16(s, s.size() - 2 - 2 * name->size(), static_cast<std::uint32_t>(name->size()));
    for (std::size_t u = 0; u < name->size(); ++u) Put16(s, s.size() - 2 * name->size() + 2 * u, (*name)[u]);
  }
  Pad(s, 4);
  std::vector<std::size_t> leafAt;
  for (const auto& [ref, bytes] : leaves) {
    Put32(s, ref, static_cast<std::uint32_t>(s.size()));
    leafAt.push_back(s.size());
    s.append(16, '\0');
  }
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    Pad(s, 4);
    Put32(s, leafAt[i], kRsrcRva + static_cast<std::uint32_t>(s.size()));
    Put32(s, leafAt[i] + 4, static_cast<std::uint32_t>(leaves[i].second->size()));
    s += *leaves[i].second;
  }
  return s;
}

// A PE32 image with .text, .rsrc and (unless withReloc is false) .reloc, checksum left 0.
inline std::string BuildStub(const TTree& tree, bool withReloc = true) {
  const std::string rsrc = ResourceSection(tree);
  const std::uint32_t rsrcRaw = static_cast<std::uint32_t>((rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign);
  const std::uint32_t relocRva = kRsrcRva + (rsrcRaw + kSectionAlign - 1) / kSectionAlign * kSectionAlign;
  std::string img(0x200, '\0');
  img[0] = 'M';
  img[1] = 'Z';
  Put32(img, 0x3C, 0x40);
  img.replace(0x40, 4, std::string("PE\0\0", 4));
  Put16(img, 0x44, 0x14C);
  Put16(img, 0x46, withReloc ? 3 : 2);
  Put16(img, 0x54, 224);
  Put16(img, 0x56, 0x0102);
  Put16(img, kOptional, 0x10B);
  Put32(img, kOptional + 8, 0x200 + rsrcRaw + (withReloc ? 0x200 : 0));  // initialised data
  Put32(img, kOptional + 28, 0x400000);
  Put32(img, kOptional + 32, kSectionAlign);
  Put32(img, kOptional + 36, kFileAlign);
  Put32(img, kOptional + 56, (withReloc ? relocRva : kRsrcRva + rsrcRaw) + kSectionAlign);
  Put32(img, kOptional + 60, 0x200);
  Put16(img, kOptional + 68, 2);  // a GUI program, as the launcher and its installer are
  Put32(img, kOptional + 92, 16);
  Put32(img, DirectoryAt(1), 0x1100);  // imports inside .text
  Put32(img, DirectoryAt(1) + 4, 0x40);
  Put32(img, DirectoryAt(2), kRsrcRva);
  Put32(img, DirectoryAt(2) + 4, static_cast<std::uint32_t>(rsrc.size()));
  auto section = [&img](int i, const char* name, std::uint32_t vsize, std::uint32_t rva, std::uint32_t raw,
                        std::uint32_t ptr) {
    img.replace(SectionAt(i), std::strlen(name), name);
    Put32(img, SectionAt(i) + 8, vsize);
    Put32(img, SectionAt(i) + 12, rva);
    Put32(img, SectionAt(i) + 16, raw);
    Put32(img, SectionAt(i) + 20, ptr);
  };
  section(0, ".text", 0x180, 0x1000, 0x200, 0x200);
  section(1, ".rsrc", static_cast<std::uint32_t>(rsrc.size()), kRsrcRva, rsrcRaw, 0x400);
  for (int i = 0; i < 0x200; ++i) img += static_cast<char>(0x90 + i % 7);
  img += rsrc;
  Pad(img, kFileAlign);
  if (withReloc) {
    section(2, ".reloc", 0x30, relocRva, 0x200, 0x400 + rsrcRaw);
    Put32(img, DirectoryAt(5), relocRva + 8);
    Put32(img, DirectoryAt(5) + 4, 0x28);
    for (int i = 0; i < 0x200; ++i) img += static_cast<char>(i < 0x30 ? 0xA0 + i : 0);
  }
  return img;
}

inline TTree LauncherResources(bool withPayload) {
  TTree t;
  t[TResourceId::Number(16)][TResourceId::Number(1)][2052] = std::string("version record \x01\x02", 17);
  t[TResourceId::Number(24)][TResourceId::Number(1)][1033] = "<assembly/>";
  t[TResourceId::Number(2)][TResourceId::Named("BINSTALL")][2052] = std::string(300, '\x5A');
  t[TResourceId::Number(2)][TResourceId::Named("ERROR")][2052] = "bitmap";
  t[TResourceId::Named("BMP")][TResourceId::Named("BCLOSE")][2052] = "BM...";
  if (withPayload) t[TResourceId::Named("DAT")][TResourceId::Named("BRENLOW")][2052] = "old payload";
  t[TResourceId::Number(10)][TResourceId::Named("SETTINGS")][0] = kSettings;
  return t;
}

inline std::string Read(TStream& s, std::uint64_t offset, std::uint32_t size) {
  std::string bytes(size, '\0');
  s.SetPosition(static_cast<std::int64_t>(offset));
  if (size) s.ReadBuffer(&bytes[0], static_cast<int>(size));
  return bytes;
}

// type/name/language -> bytes, as a reader of the image sees them.
inline std::map<std::string, std::string> Contents(TStream& image) {
  std::map<std::string, std::string> out;
  auto text = [](const TResourceId& id) {
    return id.named ? std::string(id.name.begin(), id.name.end()) : "#" + std::to_string(id.id);
  };
  const TPeImage pe(image);
  for (const auto& r : pe.Resources())
    out[text(r.type) + "/" + text(r.name) + "/" + std::to_string(r.language)] = Read(image, r.offset, r.size);
  return out;
}

// The checksum as the loader's documentation gives it: a 16-bit sum with the carry folded
// back after every word, plus the file's length.
inline std::uint32_t ReferenceSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    sum += static_cast<unsigned char>(bytes[i]) |
           (i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<std::uint32_t>(bytes.size());
}

// An image's checksum: its checksum field counts as zero.
inline std::uint32_t ReferenceChecksum(std::string image) {
  Put32(image, Get32(image, 0x3C) + 24 + 64, 0);
  return ReferenceSum(image);
}

inline std::string Attach(const std::string& stub, const std::string& payload) {
  TMemoryStream in(stub), data(payload), out;
  TPeImage image(in);
  image.SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), data,
                    static_cast<std::uint32_t>(payload.size()));
  image.Write(out);
  return out.DataString();
}

}  // namespace stubtest
