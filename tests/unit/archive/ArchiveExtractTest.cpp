// Unpacking archive files into a folder: what ends up on disk, for good and for bad archives.
#include "archive/ArchiveExtract.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "CodePageForTest.h"
#include "PayloadTestSupport.h"
#include "base/Classes.h"

using namespace payloadtest;
using Files = std::map<std::string, std::uintmax_t>;

namespace {

struct Extraction : ::testing::Test {
  TempDir tmp;
  TPath archive = tmp / "install.dat";
  TPath target = tmp / "out";

  bool Extract(const std::string& bytes) {
    WriteFile(archive, bytes);
    return ExtractArchive(archive, target);
  }
  std::string Out(const std::string& name) { return ReadFile(target + platform::PathDelim() + name); }
  /// The error unpacking `bytes` raises, as "class: message"; "" when it unpacks.
  std::string Failure(const std::string& bytes) {
    WriteFile(archive, bytes);
    try {
      UnpackArchiveFile(archive, target);
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
    return "";
  }
};

}  // namespace

// ---- archives that unpack ---------------------------------------------------------------

using ExtractArchiveUnpacks = Extraction;

TEST_F(ExtractArchiveUnpacks, OneEntry) {
  std::string exe = TextBytes(150000, 1);
  EXPECT_TRUE(Extract(Int32(1) + Entry("instTQ.exe", exe)));
  EXPECT_EQ(Listing(target), (Files{{"instTQ.exe", 150000}}));
  EXPECT_EQ(Out("instTQ.exe"), exe);
}

TEST_F(ExtractArchiveUnpacks, SeveralEntriesEachWhole) {
  std::string a = NoiseBytes(200000, 2), b = "tiny", c = TextBytes(70000, 3);
  EXPECT_TRUE(Extract(Int32(3) + Entry("a.bin", a) + Entry("b.txt", b) + Entry("c.dll", c)));
  EXPECT_EQ(Listing(target), (Files{{"a.bin", 200000}, {"b.txt", 4}, {"c.dll", 70000}}));
  EXPECT_EQ(Out("a.bin"), a);
  EXPECT_EQ(Out("b.txt"), b);
  EXPECT_EQ(Out("c.dll"), c);
}

TEST_F(ExtractArchiveUnpacks, IntoAFolderEndingInADoubleByteCharacterWithABackslashByte) {
  // テストソ, whose last character is 0x83 0x5C in code page 932, held as a path is (UTF-8 on
  // Windows) on a Japanese system: the entries go into that folder, not beside it.
  CodePageForTest japanese(932);
  target = tmp / "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x82\xBD";
  EXPECT_TRUE(Extract(Int32(1) + Entry("instTQ.exe", "abc")));
  EXPECT_EQ(Out("instTQ.exe"), "abc");
  // Beside the archive only that folder; no file named by the folder's bytes and the entry's.
  int besideArchive = 0;
  for (const auto& e : fs::directory_iterator(tmp.Path().Native()))
    besideArchive += e.path().filename() != "install.dat";
  EXPECT_EQ(besideArchive, 1);
}

TEST_F(ExtractArchiveUnpacks, ACountOfZeroCreatesTheFolderAndNoFiles) {
  EXPECT_TRUE(Extract(Int32(0)));
  EXPECT_TRUE(platform::DirectoryExists(target));
  EXPECT_EQ(Listing(target), Files{});
}

TEST_F(ExtractArchiveUnpacks, ANegativeCountMeansNoEntriesAndNothingAfterItIsRead) {
  EXPECT_TRUE(Extract(Int32(-5) + Entry("ignored.txt", "never written")));
  EXPECT_EQ(Listing(target), Files{});
}

TEST_F(ExtractArchiveUnpacks, BytesAfterTheLastEntryAreIgnored) {
  EXPECT_TRUE(Extract(Int32(1) + Entry("a.txt", "abc") + "garbage after the archive"));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 3}}));
}

TEST_F(ExtractArchiveUnpacks, AMissingTargetIsCreatedWithItsParents) {
  target = tmp / "deep" + platform::PathDelim() + "er" + platform::PathDelim() + "out";
  EXPECT_TRUE(Extract(Int32(1) + Entry("a.txt", "abc")));
  EXPECT_EQ(Out("a.txt"), "abc");
}

TEST_F(ExtractArchiveUnpacks, ATrailingSeparatorGivesTheSamePaths) {
  WriteFile(archive, Int32(1) + Entry("a.txt", "abc"));
  ASSERT_TRUE(ExtractArchive(archive, target + platform::PathDelim()));
  EXPECT_EQ(Listing(tmp.Path()), (Files{{"install.dat", ReadFile(archive).size()}, {"out", -1}, {"out/a.txt", 3}}));
}

TEST_F(ExtractArchiveUnpacks, AnExistingFileIsReplaced) {
  ForceDirectories(target);
  WriteFile(target + platform::PathDelim() + "instTQ.exe", std::string(500000, 'o'));
  EXPECT_TRUE(Extract(Int32(1) + Entry("instTQ.exe", "new")));
  EXPECT_EQ(Out("instTQ.exe"), "new");
}

TEST_F(ExtractArchiveUnpacks, ANameWithAFolderGoesIntoThatExistingSubfolder) {
  ForceDirectories(target + platform::PathDelim() + "sub");
  EXPECT_TRUE(Extract(Int32(1) + Entry("sub/a.txt", "abc")));
  EXPECT_EQ(Listing(target), (Files{{"sub", -1}, {"sub/a.txt", 3}}));
}

TEST_F(ExtractArchiveUnpacks, AnEntryOf64MiB) {
  // Every 1 KiB block is a different slice of a 16 KiB noise base plus its own numbers:
  // compressible through long matches (which keeps level 9 fast), but never the same twice.
  const std::size_t size = 64u << 20;
  std::string base = NoiseBytes(16384, 4);
  std::string data;
  data.reserve(size);
  for (std::uint32_t block = 0; data.size() < size; ++block) {
    std::size_t at = (block * 2654435761u) % (base.size() - 1024);
    data.append(base, at, 1024 - 8);
    data.append(reinterpret_cast<const char*>(&block), sizeof block);
    data.append(reinterpret_cast<const char*>(&at), 4);
  }
  data.resize(size);
  std::string packed = Int32(1) + Entry("big.bin", data);
  EXPECT_LT(packed.size(), size / 8);
  EXPECT_TRUE(Extract(packed));
  EXPECT_EQ(Listing(target), (Files{{"big.bin", size}}));
  EXPECT_TRUE(Out("big.bin") == data);
}

TEST_F(ExtractArchiveUnpacks, LeavesNoFileOpen) {
  EXPECT_TRUE(Extract(Int32(1) + Entry("a.txt", "abc")));
  // Both were opened without sharing; a second exclusive open fails while either is held.
  EXPECT_NO_THROW(TFileStream(archive, platform::FileAccess::ReadWrite, platform::FileShare::None,
                              platform::FileCreate::OpenExisting));
  EXPECT_NO_THROW(TFileStream(target + platform::PathDelim() + "a.txt", platform::FileAccess::ReadWrite,
                              platform::FileShare::None, platform::FileCreate::OpenExisting));
}

// ---- archives that fail: exactly what stays on disk --------------------------------------

using ExtractArchiveFails = Extraction;

TEST_F(ExtractArchiveFails, AMissingArchiveCreatesTheFolderAndNothingElse) {
  EXPECT_FALSE(ExtractArchive(tmp / "none.dat", target));
  EXPECT_EQ(Listing(target), Files{});
}

TEST_F(ExtractArchiveFails, AnUncreatableFileStopsThereAndKeepsTheEntriesBefore) {
  EXPECT_FALSE(
      Extract(Int32(3) + Entry("a.txt", "first") + Entry("nosuchdir/b.txt", "second") + Entry("c.txt", "third")));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}}));
}

TEST_F(ExtractArchiveFails, ACorruptStreamKeepsTheEntriesBeforeAndAnEmptyFileOfItsOwn) {
  std::string bad = CompressZlib(TextBytes(5000, 5));
  bad[10] ^= 0x7F;
  bad[11] ^= 0x7F;
  EXPECT_FALSE(Extract(Int32(3) + Entry("a.txt", "first") + RawEntry("b.bin", 5000, bad) + Entry("c.txt", "x")));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}, {"b.bin", 0}}));
}

TEST_F(ExtractArchiveFails, ACutShortLastStreamKeepsOnlyWholeChunks) {
  std::string data = NoiseBytes(200000, 6);
  std::string stream = CompressZlib(data);
  EXPECT_FALSE(Extract(Int32(1) + RawEntry("a.bin", 200000, stream.substr(0, 150000))));
  EXPECT_EQ(Listing(target), (Files{{"a.bin", 2 * 61440}}));
  EXPECT_EQ(Out("a.bin"), data.substr(0, 2 * 61440));
}

TEST_F(ExtractArchiveFails, ASizeLargerThanTheStreamHoldsStopsWithoutLooping) {
  // More entries follow, so input is still buffered when the stream ends.
  std::string data = TextBytes(100000, 7);
  EXPECT_FALSE(Extract(Int32(2) + RawEntry("a.bin", 300000, CompressZlib(data)) + Entry("b.txt", "second")));
  EXPECT_EQ(Listing(target), (Files{{"a.bin", 61440}}));
}

TEST_F(ExtractArchiveFails, AStreamHoldingMoreThanItsSizeIsNotTakenAsWhole) {
  std::string data = TextBytes(1000, 8);
  EXPECT_FALSE(Extract(Int32(2) + RawEntry("a.bin", 600, CompressZlib(data)) + Entry("b.txt", "second")));
  EXPECT_EQ(Listing(target), (Files{{"a.bin", 600}}));
  EXPECT_EQ(Out("a.bin"), data.substr(0, 600));
}

TEST_F(ExtractArchiveFails, OneByteMoreThanItsSizeIsRefused) {
  // Taken as whole, the user would get the installer one byte short.
  EXPECT_EQ(Failure(Int32(1) + RawEntry("a.bin", 1000, CompressZlib(TextBytes(1001, 8)))),
            "EDecompressionError: \"a.bin\": Entry holds more data than its size");
}

TEST_F(ExtractArchiveFails, TheErrorKeepsItsTypeAndNamesTheEntry) {
  std::string stream = CompressZlib(NoiseBytes(100000, 9));
  EXPECT_EQ(Failure(Int32(1) + RawEntry("a.bin", 100000, stream.substr(0, 5000))),
            "EReadError: \"a.bin\": Stream read error");
  EXPECT_EQ(Failure(Int32(1) + RawEntry("a.bin", -1, "")),
            "EArchiveError: Negative size in entry 1 \"a.bin\"");  // a header: no entry prefix
}

TEST_F(ExtractArchiveFails, AnEmptyTargetNameIsRefusedRatherThanTakenAsTheDriveRoot) {
  WriteFile(archive, Int32(1) + Entry("stray.txt", "abc"));
  EXPECT_FALSE(ExtractArchive(archive, TPath()));
  EXPECT_FALSE(std::filesystem::exists("stray.txt"));
}

// ---- hostile and malformed headers ----------------------------------------------------------

using ExtractArchiveHeaders = Extraction;

TEST_F(ExtractArchiveHeaders, AnEmptyEntryGivesAnEmptyFileAndExtractionGoesOn) {
  EXPECT_TRUE(Extract(Int32(3) + Entry("a.txt", "first") + Entry("empty.cfg", "") + Entry("c.txt", "third")));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}, {"c.txt", 5}, {"empty.cfg", 0}}));
}

TEST_F(ExtractArchiveHeaders, EachNextHeaderIsReadAfterTheWholePreviousStream) {
  // The first entry's data is all inflated from the first input block while its check value
  // lies beyond it; the second header must still be found after that check value.
  std::string first = DataEndingInsideTheCheckValue();
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(Extract(Int32(2) + Entry("first.bin", first) + Entry("second.txt", "second")));
  EXPECT_EQ(Out("first.bin"), first);
  EXPECT_EQ(Out("second.txt"), "second");
}

TEST_F(ExtractArchiveHeaders, RefusedNamesStopExtractionAndWriteNothingOutsideTheTarget) {
  const std::string names[] = {"..\\evil.txt",
                               "../evil.txt",
                               "sub/../../evil.txt",
                               "\\evil.txt",
                               "/tmp/evil.txt",
                               "C:\\evil.txt",
                               "C:evil.txt",
                               "\\\\?\\C:\\evil.txt",
                               "\\\\host\\share\\evil.txt",
                               "NUL",
                               "con.txt",
                               "COM1",
                               "LPT1.log",
                               "evil.",
                               "evil ",
                               std::string("ev\nil"),
                               std::string("ev\0il", 5),
                               "a.txt:stream",
                               ""};
  for (const std::string& name : names) {
    std::filesystem::remove_all(target.Native());
    std::filesystem::create_directories(target.Native());
    const TPath sub = target + platform::PathDelim() + "sub";
    std::filesystem::create_directories(sub.Native());
    WriteFile(archive,
              Int32(3) + Entry("first.txt", "1") + RawEntry(name, 4, CompressZlib("evil")) + Entry("after.txt", "3"));
    EXPECT_FALSE(ExtractArchive(archive, sub)) << name;
    EXPECT_EQ(
        Listing(tmp.Path()),
        (Files{{"install.dat", ReadFile(archive).size()}, {"out", -1}, {"out/sub", -1}, {"out/sub/first.txt", 1}}))
        << name;
  }
}

TEST_F(ExtractArchiveHeaders, NegativeOrHugeNameLengthsStopCleanly) {
  for (std::int32_t length : {-1, -2147483647 - 1, 0, kMaxEntryNameLength + 1, 2147483647}) {
    std::filesystem::remove_all(target.Native());
    EXPECT_FALSE(Extract(Int32(2) + Entry("a.txt", "first") + Int32(length) + "x" + Int32(1) + CompressZlib("y")))
        << length;
    EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}})) << length;
  }
}

TEST_F(ExtractArchiveHeaders, ANegativeSizeStopsBeforeCreatingTheFile) {
  EXPECT_FALSE(Extract(Int32(2) + Entry("a.txt", "first") + RawEntry("b.txt", -1, CompressZlib("y"))));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}}));
}

TEST_F(ExtractArchiveHeaders, AHeaderCutShortAnywhereStopsCleanly) {
  const std::string good = Int32(2) + Entry("a.txt", "first");
  const std::string second = Int32(5) + "b.txt" + Int32(6);
  for (std::size_t cut = 0; cut < second.size(); ++cut) {
    std::filesystem::remove_all(target.Native());
    EXPECT_FALSE(Extract(good + second.substr(0, cut))) << cut;
    EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}})) << cut;
  }
}

TEST_F(ExtractArchiveHeaders, ACountCutShortStopsCleanly) {
  for (std::size_t cut = 0; cut < 4; ++cut) {
    EXPECT_FALSE(Extract(Int32(1).substr(0, cut))) << cut;
    EXPECT_EQ(Listing(target), Files{}) << cut;
  }
}

TEST_F(ExtractArchiveHeaders, MoreEntriesAnnouncedThanPresentKeepsThoseThatArePresent) {
  EXPECT_FALSE(Extract(Int32(5) + Entry("a.txt", "first") + Entry("b.txt", "second")));
  EXPECT_EQ(Listing(target), (Files{{"a.txt", 5}, {"b.txt", 6}}));
}
