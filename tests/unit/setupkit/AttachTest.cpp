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
#include "PeImage.h"
#include "StubImage.h"
#include "TestFiles.h"
#include "archive/ArchiveWriter.h"
#include "platform/Platform.h"

namespace {
namespace fs = std::filesystem;
using namespace stubtest;

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
  EXPECT_EQ(DirectoryEntries(out, rsrc, 0), (std::vector<std::string>{"BMP", "DAT", "#2", "#10", "#16", "#24"}));
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
      {"entry counts beyond the section", [rsrcPtr](std::string& s) { Put16(s, rsrcPtr + 14, 0xFFFF); },
       "larger than its section"},
      {"data outside the section",
       [&good, rsrcPtr](std::string& s) {
         // The first leaf: its RVA lies in the section, so find it and send it past the end.
         for (std::size_t at = rsrcPtr; at + 4 <= rsrcPtr + 0x600; at += 4)
           if (Get32(good, at) >= kRsrcRva + 0x40 && Get32(good, at) < kRsrcRva + 0x600) {
             Put32(s, at, kRsrcRva + 0x100000);
             return;
           }
       },
       "resource data lies outside"},
      {"a size that wraps",
       [&good, rsrcPtr](std::string& s) {
         for (std::size_t at = rsrcPtr; at + 4 <= rsrcPtr + 0x600; at += 4)
           if (Get32(good, at) >= kRsrcRva + 0x40 && Get32(good, at) < kRsrcRva + 0x600) {
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

// A crafted stub whose name entries all point at one long name: the rebuilt tree would write
// the name once per entry, many times the section's size, so the name counts every time.
TEST(AttachImage, ANameSharedByManyEntriesCountsEveryTime) {
  TTree tree;
  for (int i = 0; i < 40; ++i)
    tree[TResourceId::Named("T")][TResourceId::Named("N" + std::to_string(100 + i))][0] = "x";
  std::string stub = BuildStub(tree);
  const std::size_t rsrc = 0x400;
  const std::size_t names = rsrc + (Get32(stub, rsrc + 16 + 4) & 0x7FFFFFFF);  // the type's name directory
  const std::uint32_t first = Get32(stub, names + 16) & 0x7FFFFFFF;
  for (int i = 0; i < 40; ++i) Put32(stub, names + 16 + 8 * i, 0x80000000u | first);
  Put16(stub, rsrc + first, 200);  // 200 units, still inside the section
  TMemoryStream in(stub);
  try {
    TPeImage image(in);
    ADD_FAILURE() << "accepted";
  } catch (const EPeImageError& e) {
    EXPECT_NE(std::string(e.what()).find("larger than its section"), std::string::npos) << e.what();
  }
}

// ---- the command's files ----------------------------------------------------------------------

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

// The installer is stored under the name the launcher starts, whatever its own; what a vendor
// gets wrong is refused with the reason, and a refusal leaves the folder as it was (no output,
// no temporary, an input of any name untouched).
TEST(AttachFiles, StoresTheInstallerAsTheLauncherStartsItAndRefusalsLeaveNothing) {
  TempDir dir;
  const std::string installer = BuildStub({});  // any Windows program
  WriteFile(dir.At("stub.exe"), BuildStub(LauncherResources(false)));
  WriteFile(dir.At("MySetup.exe"), installer);
  WriteFile(dir.At("readme.txt"), "read me");
  const TAttachSummary summary =
      AttachPayload({dir.At("stub.exe"), dir.At("MySetup.exe"), "", {dir.At("readme.txt")}, dir.At("setupTQ.exe")});
  TMemoryStream out(ReadFile(dir.At("setupTQ.exe")));
  TMemoryStream payload(Contents(out)["DAT/BRENLOW/0"]);
  const std::vector<TPayloadEntry> entries = ListPayload(payload);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "instTQ.exe");
  EXPECT_EQ(entries[0].size, static_cast<std::int32_t>(installer.size()));
  EXPECT_EQ(entries[1].name, "readme.txt");
  EXPECT_EQ(summary.entries.size(), 2u);
  EXPECT_EQ(summary.outputSize, static_cast<std::int64_t>(out.DataString().size()));

  // A ready archive gives the same launcher, written over the old one in one step.
  WriteFile(dir.At("payload.dat"), payload.DataString());
  AttachPayload({dir.At("stub.exe"), "", dir.At("payload.dat"), {}, dir.At("setupTQ.exe")});
  EXPECT_EQ(ReadFile(dir.At("setupTQ.exe")), out.DataString());
  fs::remove(dir.At("setupTQ.exe"));

  std::string signedStub = BuildStub(LauncherResources(false));
  Put32(signedStub, DirectoryAt(4), static_cast<std::uint32_t>(signedStub.size()));
  Put32(signedStub, DirectoryAt(4) + 4, 8);
  signedStub += std::string("\x08\0\0\0\0\x02\x02\0", 8);  // a certificate table, as signing appends it
  WriteFile(dir.At("signed.exe"), signedStub);
  WriteFile(dir.At("launcher.exe"), BuildStub(LauncherResources(true)));
  WriteFile(dir.At("nul.txt"), "a device name on Windows");
  WriteFile(dir.At("broken.dat"), payload.DataString().substr(0, 40));
  TMemoryStream other;
  PackFiles(other, {dir / "readme.txt"});
  WriteFile(dir.At("other.dat"), other.DataString());
  fs::create_directory(dir.At("folder"));
  // A file that a fixed temporary name would have hit.
  WriteFile(dir.At("setupTQ.exe.part"), "the user's");
  // Installers Windows would not start: a DLL, an image not marked runnable, a driver.
  auto image = [&installer](std::uint32_t characteristics, std::uint32_t subsystem) {
    std::string bytes = installer;
    Put16(bytes, 0x56, characteristics);
    Put16(bytes, kOptional + 68, subsystem);
    return bytes;
  };
  WriteFile(dir.At("library.dll"), image(0x2102, 2));
  WriteFile(dir.At("object.exe"), image(0x0100, 2));
  WriteFile(dir.At("driver.sys"), image(0x0102, 1));
  // Extra files of the names the launcher keeps for its own files, in a folder of their own.
  const std::string extra = dir.At("extra") + platform::PathDelim();
  fs::create_directory(extra);
  for (const char* name : {"INSTALL.DAT", "SetupTQ.exe", "instTQ.exe", "out.exe"}) WriteFile(extra + name, "x");
  TMemoryStream reserved;
  TArchiveWriter writer(reserved, 2);
  writer.AddEntry("instTQ.exe", installer);
  writer.AddEntry("Install.dat", "x");
  WriteFile(dir.At("reserved.dat"), reserved.DataString());
  const std::vector<std::string> inputs = dir.Names();
  const struct {
    TAttachRequest request;
    const char* reason;
  } refused[] = {
      {{dir.At("signed.exe"), dir.At("MySetup.exe"), "", {}, dir.At("setupTQ.exe")}, "signed.exe: is signed"},
      {{dir.At("readme.txt"), dir.At("MySetup.exe"), "", {}, dir.At("setupTQ.exe")}, "readme.txt: not a PE image"},
      {{dir.At("MySetup.exe"), dir.At("stub.exe"), "", {}, dir.At("setupTQ.exe")}, "MySetup.exe is not a setupTQ stub"},
      {{dir.At("launcher.exe"), dir.At("MySetup.exe"), "", {}, dir.At("setupTQ.exe")}, "already carries a payload"},
      {{dir.At("stub.exe"), dir.At("readme.txt"), "", {}, dir.At("setupTQ.exe")},
       "readme.txt is not a Windows program"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {dir.At("nul.txt")}, dir.At("setupTQ.exe")}, "\"nul.txt\""},
      {{dir.At("stub.exe"), "", dir.At("broken.dat"), {}, dir.At("setupTQ.exe")},
       "broken.dat: not a sound payload archive"},
      {{dir.At("stub.exe"), "", dir.At("other.dat"), {}, dir.At("setupTQ.exe")}, "other.dat holds no instTQ.exe"},
      {{dir.At("stub.exe"), dir.At("missing.exe"), "", {}, dir.At("setupTQ.exe")}, "missing.exe"},
      {{dir.At("stub.exe"), dir.At("library.dll"), "", {}, dir.At("setupTQ.exe")}, "library.dll is a DLL"},
      {{dir.At("stub.exe"), dir.At("object.exe"), "", {}, dir.At("setupTQ.exe")},
       "object.exe is not an executable image"},
      {{dir.At("stub.exe"), dir.At("driver.sys"), "", {}, dir.At("setupTQ.exe")},
       "driver.sys is an image for Windows subsystem 1"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {extra + "INSTALL.DAT"}, dir.At("setupTQ.exe")},
       "\"INSTALL.DAT\" is the name the launcher saves its payload under"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {extra + "SetupTQ.exe"}, dir.At("setupTQ.exe")},
       "\"SetupTQ.exe\" is the launcher's own name"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {extra + "out.exe"}, dir.At("out.exe")},
       "\"out.exe\" is the launcher's own name"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {extra + "instTQ.exe"}, dir.At("setupTQ.exe")},
       "\"instTQ.exe\" is the name the installer itself is stored under"},
      {{dir.At("stub.exe"), "", dir.At("reserved.dat"), {}, dir.At("setupTQ.exe")},
       "reserved.dat: the entry \"Install.dat\" is the name the launcher saves"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {}, dir.At("stub.exe")}, "is one of the inputs"},
      {{dir.At("stub.exe"), dir.At("MySetup.exe"), "", {}, dir.At("folder")}, "is a folder"},
  };
  for (const auto& r : refused) {
    try {
      AttachPayload(r.request);
      ADD_FAILURE() << r.reason << ": accepted";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(r.reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find(".tmp"), std::string::npos) << "names a temporary: " << e.what();
    }
    EXPECT_EQ(dir.Names(), inputs) << r.reason;
  }
  EXPECT_EQ(ReadFile(dir.At("setupTQ.exe.part")), "the user's");
  // --replace takes a launcher as the stub.
  TAttachRequest again{dir.At("launcher.exe"), dir.At("MySetup.exe"), "", {}, dir.At("setupTQ.exe")};
  again.replace = true;
  AttachPayload(again);
  TMemoryStream replaced(ReadFile(dir.At("setupTQ.exe")));
  TMemoryStream replacedPayload(Contents(replaced)["DAT/BRENLOW/2052"]);
  EXPECT_EQ(ListPayload(replacedPayload).size(), 1u);
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
