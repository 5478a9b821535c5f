// setupkit attach: the payload archive put into a prebuilt launcher. The stubs are PE32 images
// built here with their resource section laid out as a resource compiler might (depth first,
// bytes right after the leaves), so the reader meets a layout other than the one it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "Attach.h"
#include "TestFiles.h"
#include "PeImage.h"
#include "payload/ArchiveWriter.h"
#include "platform/Platform.h"

namespace {
namespace fs = std::filesystem;

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
std::uint32_t Get32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}
void Pad(std::string& s, std::size_t alignment) { s.resize((s.size() + alignment - 1) / alignment * alignment, '\0'); }

// The stubs' fixed layout: PE header at 0x40, optional header at 0x58, directories at 0xB8,
// section table at 0x138; .text at RVA 0x1000, .rsrc at 0x2000, .reloc behind it.
constexpr std::size_t kOptional = 0x58, kDirectories = kOptional + 96, kTable = kOptional + 224;
constexpr std::uint32_t kRsrcRva = 0x2000, kFileAlign = 0x200, kSectionAlign = 0x1000;
std::size_t DirectoryAt(int d) { return kDirectories + 8 * static_cast<std::size_t>(d); }
std::size_t SectionAt(int i) { return kTable + 40 * static_cast<std::size_t>(i); }

// type -> name -> language -> bytes
using TTree = std::map<TResourceId, std::map<TResourceId, std::map<std::uint32_t, std::string>>>;

bool IsNamed(const TResourceId& id) { return id.named; }
bool IsNamed(std::uint32_t) { return false; }  // a language

std::string ResourceSection(const TTree& tree) {
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
std::string BuildStub(const TTree& tree, bool withReloc = true) {
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

TTree LauncherResources(bool withPayload) {
  TTree t;
  t[TResourceId::Number(16)][TResourceId::Number(1)][2052] = std::string("version record \x01\x02", 17);
  t[TResourceId::Number(24)][TResourceId::Number(1)][1033] = "<assembly/>";
  t[TResourceId::Number(2)][TResourceId::Named("BINSTALL")][2052] = std::string(300, '\x5A');
  t[TResourceId::Number(2)][TResourceId::Named("ERROR")][2052] = "bitmap";
  t[TResourceId::Named("BMP")][TResourceId::Named("BCLOSE")][2052] = "BM...";
  if (withPayload) t[TResourceId::Named("DAT")][TResourceId::Named("BRENLOW")][2052] = "old payload";
  return t;
}

std::string Read(TStream& s, std::uint64_t offset, std::uint32_t size) {
  std::string bytes(size, '\0');
  s.SetPosition(static_cast<std::int64_t>(offset));
  if (size) s.ReadBuffer(&bytes[0], static_cast<int>(size));
  return bytes;
}

// type/name/language -> bytes, as a reader of the image sees them.
std::map<std::string, std::string> Contents(TStream& image) {
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
std::uint32_t ReferenceSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    sum += static_cast<unsigned char>(bytes[i]) |
           (i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<std::uint32_t>(bytes.size());
}

// An image's checksum: its checksum field counts as zero.
std::uint32_t ReferenceChecksum(std::string image) {
  Put32(image, Get32(image, 0x3C) + 24 + 64, 0);
  return ReferenceSum(image);
}

std::string Attach(const std::string& stub, const std::string& payload) {
  TMemoryStream in(stub), data(payload), out;
  TPeImage image(in);
  image.SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), data,
                    static_cast<std::uint32_t>(payload.size()));
  image.Write(out);
  return out.DataString();
}

// ---- the rebuilt image --------------------------------------------------------------------

TEST(AttachImage, ReplacesThePayloadAndKeepsEveryOtherResourceByteForByte) {
  const std::string payload(5000, '\x7E');
  TMemoryStream stub(BuildStub(LauncherResources(true)));
  TMemoryStream out(Attach(stub.DataString(), payload));
  auto before = Contents(stub), after = Contents(out);
  EXPECT_EQ(before.erase("DAT/BRENLOW/2052"), 1u);
  EXPECT_EQ(after["DAT/BRENLOW/2052"], payload);  // the replaced one's language is kept
  after.erase("DAT/BRENLOW/2052");
  EXPECT_EQ(after, before);
}

TEST(AttachImage, AddsThePayloadWhenTheStubHasNone) {
  TMemoryStream stub(BuildStub(LauncherResources(false)));
  TMemoryStream out(Attach(stub.DataString(), "archive"));
  auto before = Contents(stub), after = Contents(out);
  EXPECT_EQ(after["DAT/BRENLOW/0"], "archive");
  after.erase("DAT/BRENLOW/0");
  EXPECT_EQ(after, before);
}

TEST(AttachImage, HeadersDescribeTheNewLayout) {
  const std::string stub = BuildStub(LauncherResources(true));
  const std::string out = Attach(stub, std::string(70000, 'p'));
  TMemoryStream in(out);
  TPeImage image(in);
  const TPeSection &text = image.Sections()[0], &rsrc = image.Sections()[1], &reloc = image.Sections()[2];
  EXPECT_EQ(out.substr(0x200, 0x200), stub.substr(0x200, 0x200));  // code untouched
  EXPECT_EQ(text.virtualAddress, 0x1000u);
  EXPECT_EQ(rsrc.virtualAddress, kRsrcRva);
  EXPECT_GT(rsrc.virtualSize, 70000u);
  EXPECT_EQ(rsrc.rawSize % kFileAlign, 0u);
  EXPECT_GE(rsrc.rawSize, rsrc.virtualSize);
  EXPECT_EQ(Get32(out, DirectoryAt(2) + 4), rsrc.virtualSize);
  // The relocations move behind the grown section, bytes unchanged, directory along with them.
  EXPECT_EQ(reloc.virtualAddress, (kRsrcRva + rsrc.virtualSize + kSectionAlign - 1) / kSectionAlign * kSectionAlign);
  EXPECT_EQ(reloc.rawPointer, rsrc.rawPointer + rsrc.rawSize);
  EXPECT_EQ(out.substr(reloc.rawPointer, 0x200), stub.substr(Get32(stub, SectionAt(2) + 20), 0x200));
  EXPECT_EQ(Get32(out, DirectoryAt(5)), reloc.virtualAddress + 8);
  EXPECT_EQ(Get32(out, DirectoryAt(5) + 4), 0x28u);
  EXPECT_EQ(Get32(out, DirectoryAt(1)), 0x1100u);
  EXPECT_EQ(Get32(out, kOptional + 56), reloc.virtualAddress + kSectionAlign);  // image size
  EXPECT_EQ(Get32(out, kOptional + 8), 0x200 + rsrc.rawSize + 0x200);           // initialised data
  EXPECT_EQ(out.size(), reloc.rawPointer + 0x200u);
  EXPECT_EQ(image.StoredChecksum(), ReferenceChecksum(out));
}

// The entries of the resource directory at `offset` of the section, as "NAME" or "#id".
std::vector<std::string> DirectoryEntries(const std::string& image, const TPeSection& rsrc, std::uint32_t offset) {
  const std::size_t at = rsrc.rawPointer + offset;
  const std::size_t count = (Get32(image, at + 12) & 0xFFFF) + (Get32(image, at + 12) >> 16);
  std::vector<std::string> out;
  for (std::size_t e = 0; e < count; ++e) {
    const std::uint32_t name = Get32(image, at + 16 + 8 * e);
    if (!(name & 0x80000000u)) {
      out.push_back("#" + std::to_string(name));
      continue;
    }
    const std::size_t s = rsrc.rawPointer + (name & 0x7FFFFFFF);
    std::string text;
    for (std::size_t u = 0; u < (Get32(image, s) & 0xFFFF); ++u) text += image[s + 2 + 2 * u];
    out.push_back(text);
  }
  return out;
}

TEST(AttachImage, DirectoriesAreInTheOrderTheLoaderSearches) {
  // The loader looks names up by binary search: names in code unit order, then numbers.
  const std::string out = Attach(BuildStub(LauncherResources(false)), "archive");
  TMemoryStream in(out);
  const TPeSection rsrc = TPeImage(in).Sections()[1];
  EXPECT_EQ(DirectoryEntries(out, rsrc, 0), (std::vector<std::string>{"BMP", "DAT", "#2", "#16", "#24"}));
  const std::uint32_t bitmaps = Get32(out, rsrc.rawPointer + 16 + 8 * 2 + 4) & 0x7FFFFFFF;
  EXPECT_EQ(DirectoryEntries(out, rsrc, bitmaps), (std::vector<std::string>{"BINSTALL", "ERROR"}));
}

TEST(AttachImage, SameInputsGiveTheSameBytes) {
  const std::string stub = BuildStub(LauncherResources(true));
  EXPECT_EQ(Attach(stub, "payload one"), Attach(stub, "payload one"));
  // Attaching again to its own output gives the same image as attaching to the stub once.
  EXPECT_EQ(Attach(Attach(stub, "first"), "payload one"), Attach(stub, "payload one"));
}

TEST(AttachImage, StubWithoutRelocationsGrowsAtTheEnd) {
  const std::string out = Attach(BuildStub(LauncherResources(false), false), std::string(9000, 'q'));
  TMemoryStream in(out);
  TPeImage image(in);
  ASSERT_EQ(image.Sections().size(), 2u);
  const TPeSection& rsrc = image.Sections()[1];
  EXPECT_EQ(out.size(), rsrc.rawPointer + rsrc.rawSize);
  EXPECT_EQ(Get32(out, kOptional + 56),
            (kRsrcRva + rsrc.virtualSize + kSectionAlign - 1) / kSectionAlign * kSectionAlign);
}

TEST(PeChecksum, ChunksOfAnyLengthSumAsTheWholeFile) {
  std::string bytes;
  for (int i = 0; i < 1001; ++i) bytes += static_cast<char>(i * 37 + (i >> 3));
  TPeChecksum sum;
  for (std::size_t at = 0, n = 1; at < bytes.size(); at += n, n = n % 5 + 1)
    sum.Add(bytes.data() + at, std::min(n, bytes.size() - at));
  EXPECT_EQ(sum.Value(), ReferenceSum(bytes));
  TPeChecksum allOnes;  // the carry out of the top bit goes round
  allOnes.Add(std::string(8, '\xFF').data(), 8);
  EXPECT_EQ(allOnes.Value(), 0xFFFFu + 8);
}

// ---- refused stubs ----------------------------------------------------------------------------

TEST(AttachImage, RefusesWhatItCannotRebuildWithAReason) {
  const std::string good = BuildStub(LauncherResources(true));
  const std::uint32_t rsrcPtr = 0x400;
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* reason;
  };
  const Case cases[] = {
      {"not an image", [](std::string& s) { s[0] = 'Z'; }, "no MZ header"},
      {"cut inside the headers", [](std::string& s) { s.resize(0x100); }, "past the end"},
      {"PE32+", [](std::string& s) { Put16(s, kOptional, 0x20B); }, "not a PE32 image"},
      {"signed",
       [](std::string& s) {
         Put32(s, DirectoryAt(4), 0x9000);
         Put32(s, DirectoryAt(4) + 4, 0x100);
       },
       "attaching would break its signature; attach before signing"},
      {"no resource directory", [](std::string& s) { Put32(s, DirectoryAt(2), 0); }, "no resource section"},
      {"section table past the end", [](std::string& s) { Put16(s, 0x46, 0xFFFF); }, "section table"},
      {"section data past the end", [](std::string& s) { Put32(s, SectionAt(1) + 16, 0x7FFFFFFF); },
       "outside the file"},
      {"a section after the resources", [](std::string& s) { Put32(s, DirectoryAt(5), 0); },
       "follows the resource section"},
      {"appended data", [](std::string& s) { s += "tail"; }, "4 bytes follow the last section"},
      {"directory into the resources", [](std::string& s) { Put32(s, DirectoryAt(1), kRsrcRva + 4); },
       "data directory 1"},
      {"a tree that loops", [rsrcPtr](std::string& s) { Put32(s, rsrcPtr + 16 + 4, 0x80000000u); }, "loops"},
      {"a name past the section", [rsrcPtr](std::string& s) { Put32(s, rsrcPtr + 16, 0xFFFFFFF0u); },
       "outside its section"},
      {"entry counts beyond the section", [rsrcPtr](std::string& s) { Put16(s, rsrcPtr + 14, 0xFFFF); }, "entries"},
      {"data outside the section",
       [&good, rsrcPtr](std::string& s) {
         // The first leaf: its RVA lies in the section, so find it and send it past the end.
         for (std::size_t at = rsrcPtr; at + 4 <= rsrcPtr + 0x200; at += 4)
           if (Get32(good, at) >= kRsrcRva + 0x40 && Get32(good, at) < kRsrcRva + 0x200) {
             Put32(s, at, kRsrcRva + 0x100000);
             return;
           }
       },
       "resource data lies outside"},
      {"a size that wraps",
       [&good, rsrcPtr](std::string& s) {
         for (std::size_t at = rsrcPtr; at + 4 <= rsrcPtr + 0x200; at += 4)
           if (Get32(good, at) >= kRsrcRva + 0x40 && Get32(good, at) < kRsrcRva + 0x200) {
             Put32(s, at + 4, 0xFFFFFFF0u);
             return;
           }
       },
       "resource data lies outside"},
  };
  for (const Case& c : cases) {
    std::string bad = good;
    c.damage(bad);
    TMemoryStream in(bad);
    try {
      TPeImage image(in);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EPeImageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.what << ": " << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
  }
}

// ---- the command's files ----------------------------------------------------------------------

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

TEST(AttachFiles, PacksTheFilesAsPackDoesAndRefusalsLeaveNothing) {
  TempDir dir;
  WriteFile(dir / "stub.exe", BuildStub(LauncherResources(true)));
  WriteFile(dir / "instTQ.exe", std::string(100000, 'i'));
  WriteFile(dir / "readme.txt", "read me");
  AttachPayload({dir / "stub.exe", {dir / "instTQ.exe", dir / "readme.txt"}, "", dir / "setupTQ.exe"});
  TMemoryStream packed;
  PackFiles(packed, {dir / "instTQ.exe", dir / "readme.txt"});
  WriteFile(dir / "payload.dat", packed.DataString());
  TMemoryStream out(ReadFile(dir / "setupTQ.exe"));
  EXPECT_EQ(Contents(out)["DAT/BRENLOW/2052"], packed.DataString());

  // A ready archive gives the same launcher; attaching over the stub itself works too.
  AttachPayload({dir / "stub.exe", {}, dir / "payload.dat", dir / "stub.exe"});
  EXPECT_EQ(ReadFile(dir / "stub.exe"), ReadFile(dir / "setupTQ.exe"));
  fs::remove(dir / "setupTQ.exe");

  std::string signedStub = BuildStub(LauncherResources(true));
  Put32(signedStub, DirectoryAt(4), 0x9000);
  Put32(signedStub, DirectoryAt(4) + 4, 8);
  WriteFile(dir / "signed.exe", signedStub);
  WriteFile(dir / "nul.txt", "a device name on Windows");
  WriteFile(dir / "broken.dat", packed.DataString().substr(0, 40));
  const std::vector<std::string> inputs = dir.Names();
  const struct {
    TAttachRequest request;
    const char* reason;
  } refused[] = {
      {{dir / "signed.exe", {dir / "instTQ.exe"}, "", dir / "setupTQ.exe"}, "signed.exe: is signed"},
      {{dir / "readme.txt", {dir / "instTQ.exe"}, "", dir / "setupTQ.exe"}, "readme.txt: not a PE image"},
      {{dir / "stub.exe", {dir / "instTQ.exe", dir / "nul.txt"}, "", dir / "setupTQ.exe"}, "\"nul.txt\""},
      {{dir / "stub.exe", {}, dir / "broken.dat", dir / "setupTQ.exe"}, "broken.dat: not a sound payload archive"},
      {{dir / "stub.exe", {dir / "missing.exe"}, "", dir / "setupTQ.exe"}, "missing.exe"},
  };
  for (const auto& r : refused) {
    try {
      AttachPayload(r.request);
      ADD_FAILURE() << r.reason << ": accepted";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(r.reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(dir.Names(), inputs) << r.reason;  // no output, no temporary
  }
}

// Under the win32 build the stub built beside this test is a launcher as ld makes it, without
// a payload: attaching adds DAT/BRENLOW and keeps every other resource.
TEST(AttachFiles, TheBuiltStubTakesAPayload) {
  const char* build = std::getenv("SETUPTQ_BUILD_DIR");
  const std::string launcher = std::string(build ? build : ".") + "/bin/stub/setupTQ.exe";
  if (!fs::exists(launcher)) GTEST_SKIP() << "no stub built here (native build)";
  TMemoryStream stub(ReadFile(launcher));
  EXPECT_EQ(TPeImage(stub).StoredChecksum(), ReferenceChecksum(stub.DataString()));  // ld's sum is ours
  TMemoryStream out(Attach(stub.DataString(), std::string(123457, 'x')));
  auto before = Contents(stub), after = Contents(out);
  for (const auto& [key, bytes] : before) EXPECT_NE(key.rfind("DAT/", 0), 0u) << "the stub carries " << key;
  ASSERT_EQ(after.size(), before.size() + 1);
  for (const auto& [key, bytes] : after)
    if (key.rfind("DAT/BRENLOW/", 0) == 0)
      EXPECT_EQ(bytes, std::string(123457, 'x'));
    else
      EXPECT_EQ(before[key], bytes) << key;
  EXPECT_EQ(TPeImage(out).StoredChecksum(), ReferenceChecksum(out.DataString()));
}

}  // namespace
