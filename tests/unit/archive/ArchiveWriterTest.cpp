// Writing archives: the layout the launcher expects, and the packer's refusals.
#include "archive/ArchiveWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PayloadTestSupport.h"
#include "archive/ArchiveReader.h"
#include "base/SysUtils.h"

using namespace payloadtest;

namespace {

// An output that hands its bytes over when it is closed.
struct TKeptStream : TMemoryStream {
  std::string& sink;
  explicit TKeptStream(std::string& s) : sink(s) {}
  ~TKeptStream() override { sink = DataString(); }
};

// Entry name -> bytes, read back through the archive reader.
std::map<std::string, std::string> Unpack(const std::string& archive) {
  std::map<std::string, std::string> out;
  TMemoryStream in(archive);
  UnpackArchive(in, [&out](const TArchiveEntry& e) { return std::make_unique<TKeptStream>(out[e.name]); });
  return out;
}

}  // namespace

TEST(ArchiveWriterLayout, OneEntryIsCountNameSizeAndAMaximumCompressionZlibStream) {
  TMemoryStream out;
  TArchiveWriter writer(out, 1);
  writer.AddEntry("instTQ.exe", TextBytes(100000, 1));
  const std::string& a = out.DataString();
  const auto* b = reinterpret_cast<const unsigned char*>(a.data());
  ASSERT_GT(a.size(), 24u);
  EXPECT_EQ(GetInt32(b), 1);
  EXPECT_EQ(GetInt32(b + 4), 10);
  EXPECT_EQ(a.substr(8, 10), "instTQ.exe");
  EXPECT_EQ(GetInt32(b + 18), 100000);
  EXPECT_EQ(b[22], 0x78);
  EXPECT_EQ(b[23], 0xDA);
}

TEST(ArchiveWriterLayout, ReadsBackEntryForEntryIncludingEmptyOnes) {
  TMemoryStream out;
  TArchiveWriter writer(out, 4);
  std::string big = NoiseBytes(150000, 2);
  writer.AddEntry("a.bin", big);
  writer.AddEntry("empty", "");
  writer.AddEntry("c.txt", "third");
  writer.AddEntry("sub\\d.txt", "fourth");
  EXPECT_EQ(writer.Added(), 4);
  auto files = Unpack(out.DataString());
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {"a.bin", big}, {"empty", ""}, {"c.txt", "third"}, {"sub\\d.txt", "fourth"}}));
}

TEST(ArchiveWriterRefuses, NamesTheReaderWouldRefuse) {
  TMemoryStream out;
  TArchiveWriter writer(out, 3);
  EXPECT_THROW(writer.AddEntry("..\\x.exe", "x"), EArchiveError);
  EXPECT_THROW(writer.AddEntry("NUL", "x"), EArchiveError);
  EXPECT_THROW(writer.AddEntry("", "x"), EArchiveError);
  EXPECT_EQ(writer.Added(), 0);
}

TEST(ArchiveWriterRefuses, MoreEntriesThanAnnounced) {
  TMemoryStream out;
  TArchiveWriter writer(out, 1);
  writer.AddEntry("a", "1");
  EXPECT_THROW(writer.AddEntry("b", "2"), EArchiveError);
}

TEST(ArchiveWriterRefuses, DataShorterThanItsSize) {
  TMemoryStream out, data(std::string(1000, 'd'));
  TArchiveWriter writer(out, 1);
  EXPECT_THROW(writer.AddEntry("a", data, 5000), EArchiveError);
}

TEST(ArchiveWriterRefuses, SizesTheFormatCannotHold) {
  TMemoryStream out, data;
  TArchiveWriter writer(out, 1);
  EXPECT_THROW(writer.AddEntry("a", data, 1ll << 31), EArchiveError);
  EXPECT_THROW(writer.AddEntry("a", data, -1), EArchiveError);
}

TEST(PackFiles, NamesEachEntryByItsFileNameWithoutFolders) {
  TempDir tmp;
  ForceDirectories(tmp / "bin");
  WriteFile(tmp / "bin" + platform::PathDelim() + testfiles::AsPath("instTQ.exe"), "exe bytes");
  WriteFile(tmp / "readme.txt", "read me");
  TMemoryStream out;
  PackFiles(out, {tmp / "bin" + platform::PathDelim() + testfiles::AsPath("instTQ.exe"), tmp / "readme.txt"});
  EXPECT_EQ(Unpack(out.DataString()),
            (std::map<std::string, std::string>{{"instTQ.exe", "exe bytes"}, {"readme.txt", "read me"}}));
}

TEST(PackFiles, ANameWithADoubleByteCharacterIsPackedWhole) {
  TempDir tmp;
  // ソinst.exe as a path (UTF-8): its entry is named by the whole name, as a text of the
  // program (0xA5 0xBD for ソ in code page 936) on every system.
  const std::string name = "\xE3\x82\xBDinst.exe";
  WriteFile(tmp / name, "exe bytes");
  TMemoryStream out;
  PackFiles(out, {tmp / name});
  EXPECT_EQ(Unpack(out.DataString()), (std::map<std::string, std::string>{{"\xA5\xBDinst.exe", "exe bytes"}}));
}

TEST(PackFiles, RefusesTwoFilesOfTheSameNameInAnyCase) {
  TempDir tmp;
  ForceDirectories(tmp / "a");
  WriteFile(tmp / "a" + platform::PathDelim() + testfiles::AsPath("Setup.exe"), "1");
  WriteFile(tmp / "setup.EXE", "2");
  TMemoryStream out;
  EXPECT_THROW(PackFiles(out, {tmp / "a" + platform::PathDelim() + testfiles::AsPath("Setup.exe"), tmp / "setup.EXE"}),
               EArchiveError);
}

TEST(PackFiles, AMissingFileRaisesTheOpenError) {
  TempDir tmp;
  TMemoryStream out;
  EXPECT_THROW(PackFiles(out, {tmp / "missing.exe"}), EFOpenError);
}
