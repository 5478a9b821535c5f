// publish and extract as a vendor runs them on the files a careless release makes: each refusal
// says why, exits 1 and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "Command.h"
#include "LauncherFile.h"
#include "StubImage.h"
#include "TestFiles.h"
#include "archive/ArchiveWriter.h"
#include "platform/Platform.h"

namespace {
namespace fs = std::filesystem;
using namespace stubtest;

int RunCommand(const std::string& name, const std::vector<std::string>& args) {
  for (const auto& c : Commands())
    if (name == c.name) return c.run(args);
  ADD_FAILURE() << "no command " << name;
  return -1;
}

using testfiles::ReadFile;
using testfiles::WriteFile;

std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  TMemoryStream out;
  TArchiveWriter writer(out, static_cast<std::int32_t>(entries.size()));
  for (const auto& [name, bytes] : entries) writer.AddEntry(name, bytes);
  return out.DataString();
}

std::string LauncherWith(const std::string& payload) {
  TTree t = LauncherResources(false);
  t[TResourceId::Named("DAT")][TResourceId::Named("BRENLOW")][2052] = payload;
  return BuildStub(t);
}

class VendorCommands : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return dir_.At(name); }
  testfiles::TempDir dir_;
};

TEST_F(VendorCommands, PublishRefusesALauncherThatWouldFailInTheField) {
  WriteFile(At("stub.exe"), BuildStub(LauncherResources(false)));
  WriteFile(At("no-installer.exe"), LauncherWith(Archive({{"hello.exe", "MZ"}})));
  WriteFile(At("unsigned.exe"), LauncherWith(Archive({{"instTQ.exe", "MZ"}})));
  WriteFile(At("other.exe"), BuildStub({}));
  const struct {
    const char* file;
    const char* reason;
  } cases[] = {
      {"stub.exe", "carries no payload (it is a stub)"},
      {"no-installer.exe", "holds no instTQ.exe (it holds: hello.exe)"},
      {"unsigned.exe", "is not signed"},
      {"other.exe", "not a setupTQ launcher"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunCommand("publish", {At(c.file), At("webroot")}), kExitNo) << c.file;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(At("webroot"))) << c.file;
  }
  EXPECT_THROW(RunCommand("publish", {At("unsigned.exe")}), EUsageError);
  EXPECT_THROW(RunCommand("publish", {"--unsinged", At("unsigned.exe"), At("webroot")}), EUsageError);
}

TEST_F(VendorCommands, ExtractTakesALauncherAndOverwritesNothingButItsOwnFiles) {
  WriteFile(At("setupTQ.exe"), LauncherWith(Archive({{"instTQ.exe", "MZ installer"}, {"readme.txt", "notes"}})));
  EXPECT_EQ(RunCommand("extract", {At("setupTQ.exe"), At("out")}), 0);
  EXPECT_EQ(ReadFile(At("out/instTQ.exe")), "MZ installer");
  EXPECT_EQ(ReadFile(At("out/readme.txt")), "notes");

  // Two entries Windows takes for one file.
  WriteFile(At("twice.dat"), Archive({{"a.txt", "first"}, {"A.TXT", "second"}}));
  EXPECT_EQ(RunCommand("extract", {At("twice.dat"), At("twice")}), kExitNo);
  EXPECT_FALSE(fs::exists(At("twice")));
  // An entry named as the archive, unpacked beside it.
  WriteFile(At("self.dat"), Archive({{"self.dat", "not the archive"}}));
  const std::string self = ReadFile(At("self.dat"));
  EXPECT_EQ(RunCommand("extract", {At("self.dat"), dir_.Path().Native()}), kExitNo);
  EXPECT_EQ(ReadFile(At("self.dat")), self);
  // A link already in the folder is not followed (on Linux, where a user makes links freely).
  if (platform::PathDelim() == '/') {
    WriteFile(At("victim.txt"), "keep");
    fs::remove(At("out/readme.txt"));
    fs::create_symlink(At("victim.txt"), At("out/readme.txt"));
    EXPECT_EQ(RunCommand("extract", {At("setupTQ.exe"), At("out")}), kExitNo);
    EXPECT_EQ(ReadFile(At("victim.txt")), "keep");
  }
}

}  // namespace

// The vendor's file names (the platform's form) are stored as code page 936, the launcher's
// texts, and shown and written back under the system's names: 说明.txt, and 東方.dll and 億.txt
// whose 936 bytes end in "|"; a name 936 cannot hold (Hangul) is refused by name.
TEST_F(VendorCommands, FileNamesTravelAsCodePage936AndComeBackWhole) {
  const std::string shuoming = "\xE8\xAF\xB4\xE6\x98\x8E.txt", dongfang = "\xE6\x9D\xB1\xE6\x96\xB9.dll",
                    yi = "\xE5\x84\x84.txt", hangul = "\xED\x95\x9C\xEA\xB8\x80.txt";
  for (const auto& name : {shuoming, dongfang, yi, hangul}) WriteFile(At(name), "bytes of " + name);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunCommand("pack", {At("names.dat"), At(shuoming), At(dongfang), At(yi)}), 0);
  testing::internal::GetCapturedStdout();
  TMemoryStream archive(ReadFile(At("names.dat")));
  std::vector<std::string> stored;
  for (const auto& e : ListPayload(archive)) stored.push_back(e.name);
  EXPECT_EQ(stored, (std::vector<std::string>{"\xCB\xB5\xC3\xF7.txt", "\x96\x7C\xB7\xBD.dll", "\x83\x7C.txt"}));

  testing::internal::CaptureStdout();
  EXPECT_EQ(RunCommand("list", {At("names.dat")}), 0);
  const std::string listed = testing::internal::GetCapturedStdout();
  for (const auto& name : {shuoming, dongfang, yi})
    EXPECT_NE(listed.find("  " + name + "\n"), std::string::npos) << listed;
  EXPECT_EQ(RunCommand("extract", {At("names.dat"), At("out")}), 0);
  for (const auto& name : {shuoming, dongfang, yi}) EXPECT_EQ(ReadFile(At("out/" + name)), "bytes of " + name);

  try {
    RunCommand("pack", {At("refused.dat"), At(shuoming), At(hangul)});
    ADD_FAILURE() << "a name code page 936 cannot hold was packed";
  } catch (const Exception& e) {
    EXPECT_NE(ErrorText(e).find("\"" + hangul + "\""), std::string::npos) << ErrorText(e);
  }
  EXPECT_FALSE(fs::exists(At("refused.dat")));
}
