// publish and extract as a vendor runs them on the files a careless release makes: each refusal
// says why, exits 1 and writes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

#include "Command.h"
#include "LauncherFile.h"
#include "PayloadTestSupport.h"
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

using testfiles::AsPath;
using testfiles::ReadFile;
using testfiles::WriteFile;

std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  TMemoryStream out;
  TArchiveWriter writer(out, static_cast<std::int32_t>(entries.size()));
  for (const auto& [name, bytes] : entries) writer.AddEntry(name, bytes);
  return out.DataString();
}

std::string LauncherWith(const std::string& payload, const std::string& settings = kSettings) {
  TTree t = LauncherResources(false);
  t[TResourceId::Number(10)][TResourceId::Named("SETTINGS")][0] = settings;
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
  // A name as long as a file's may be, below a short folder: longer than Windows' classic limit.
  const std::string longest(250, 'n');
  WriteFile(At("long.dat"), Archive({{longest, "long"}}));
  EXPECT_EQ(RunCommand("extract", {At("long.dat"), At("out")}), 0);
  EXPECT_EQ(ReadFile(At("out/" + longest)), "long");

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

// A launcher's settings become paths under the web root: a hostile product code or version is
// refused before any path is made of it.
TEST_F(VendorCommands, PublishRefusesSettingsThatWouldLeaveTheWebRoot) {
  const std::string payload = Archive({{"instTQ.exe", "MZ"}});
  const struct {
    const char* code;
    const char* version;
  } hostile[] = {{"../../outside/pwn", "3.6"},
                 {"QORTQ", "/outside/3.6"},
                 {"QORTQ", "3.6/../../../outside"},
                 {"C:", "3.6"},
                 {"QORTQ", "3.66"}};
  for (const auto& h : hostile) {
    const std::string settings =
        std::string(kSettings).replace(0, std::strlen("product-code=QORTQ\nversion=3.6"),
                                       std::string("product-code=") + h.code + "\nversion=" + h.version);
    WriteFile(At("hostile.exe"), LauncherWith(payload, settings));
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunCommand("publish", {"--unsigned", At("hostile.exe"), At("web/root")}), kExitNo) << h.code << h.version;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not one a release can have"), std::string::npos);
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"hostile.exe"})) << h.code << h.version;
  }
  // A web root that cannot be made is an I/O error (exit 3, main's catch), not a refusal; one that
  // does not exist is made only when asked, so that a mistyped name is said, not published to.
  WriteFile(At("good.exe"), LauncherWith(payload));
  WriteFile(At("file"), "not a folder");
  EXPECT_THROW(RunCommand("publish", {"--unsigned", "--create", At("good.exe"), At("file/root")}), EFCreateError);
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunCommand("publish", {"--unsigned", At("good.exe"), At("webrooot")}), kExitInput);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("the web root " + At("webrooot") + " does not exist"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(At("webrooot")));
}

// One pass, all or nothing: a damaged entry after a good one leaves the folder as it was,
// and so does a folder of the entry's path that is a link elsewhere (not followed).
TEST_F(VendorCommands, ExtractLeavesNothingBehindWhenAnyEntryFails) {
  using payloadtest::Listing;
  std::string bad = CompressZlib(payloadtest::TextBytes(5000, 5));
  bad[10] ^= 0x7F;
  WriteFile(At("damaged.dat"),
            payloadtest::Int32(2) + payloadtest::Entry("a.txt", "new") + payloadtest::RawEntry("b.bin", 5000, bad));
  fs::create_directory(At("out"));
  WriteFile(At("out/a.txt"), "the user's");
  EXPECT_THROW(RunCommand("extract", {At("damaged.dat"), At("out")}), EArchiveError);
  EXPECT_EQ(ReadFile(At("out/a.txt")), "the user's");
  EXPECT_EQ(Listing(AsPath(At("out"))).size(), 1u);
  EXPECT_THROW(RunCommand("extract", {At("damaged.dat"), At("new/folder")}), EArchiveError);
  EXPECT_FALSE(fs::exists(At("new")));

  if (platform::PathDelim() != '/') return;  // links below: made freely on Linux only
  fs::create_directories(At("elsewhere"));
  fs::create_directories(At("linked"));
  fs::create_directory_symlink(At("elsewhere"), At("linked/sub"));
  WriteFile(At("owning.dat"), Archive({{"first.txt", "1"}, {"sub/owned.txt", "owned"}}));
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunCommand("extract", {At("owning.dat"), At("linked")}), kExitNo);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("is a symbolic link, which is not followed"),
            std::string::npos);
  EXPECT_EQ(Listing(AsPath(At("elsewhere"))).size(), 0u);
  EXPECT_EQ(Listing(AsPath(At("linked"))).size(), 1u);  // the link alone
}

#if !defined(_WIN32)
// A write that fails says which file and why, and leaves no part of it behind: files are
// limited to 64 KiB for the process, as a full disk would stop them.
TEST_F(VendorCommands, AWriteErrorNamesTheFileAndTheReasonAndLeavesNoPart) {
  WriteFile(At("big.dat"), Archive({{"big.bin", payloadtest::NoiseBytes(200000, 3)}}));
  WriteFile(At("stub.exe"), BuildStub(LauncherResources(false)));
  WriteFile(At("MySetup.exe"), BuildStub({}) + payloadtest::NoiseBytes(200000, 4));
  fs::create_directory(At("out"));
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 65536;
  setrlimit(RLIMIT_FSIZE, &small);
  std::string extractError, attachError;
  try {
    RunCommand("extract", {At("big.dat"), At("out")});
  } catch (const Exception& e) {
    extractError = e.Message();
  }
  try {
    RunCommand("attach", {At("stub.exe"), At("MySetup.exe"), "-o", At("setupTQ.exe")});
  } catch (const Exception& e) {
    attachError = e.Message();
  }
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_NE(extractError.find(At("out/big.bin") + "\". File too large"), std::string::npos) << extractError;
  EXPECT_NE(attachError.find("cannot write " + At("setupTQ.exe") + ": Stream write error (File too large)"),
            std::string::npos)
      << attachError;
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"MySetup.exe", "big.dat", "out", "stub.exe"}));
  EXPECT_EQ(payloadtest::Listing(AsPath(At("out"))).size(), 0u);
}

// What a killed or failed run leaves is taken away by the next: a killed run's temporaries
// (old, and open in no process; one still open is another run's and stays), and the folders a
// run made for a file it then could not write. A name as long as a file's may be is written,
// whatever the length of its temporary's.
TEST_F(VendorCommands, WhatAKilledOrFailedRunLeftIsTakenAway) {
  WriteFile(At("a.txt"), "a");
  const std::string killed = ".packed.dat.0badf00d.tmp", recent = ".packed.dat.12345678.tmp",
                    running = ".packed.dat.87654321.tmp", users = ".packed.dat.not-ours.tmp";
  for (const auto& name : {killed, recent, users}) WriteFile(At(name), "left");
  platform::Folder folder(dir_.Path());
  int error = 0;
  const platform::FileHandle open = folder.CreateNew(running, error);
  ASSERT_NE(open, platform::kInvalidFile);
  const auto old = fs::file_time_type::clock::now() - std::chrono::seconds(kStaleTemporarySeconds + 60);
  for (const auto& name : {killed, running, users}) fs::last_write_time(At(name), old);
  EXPECT_EQ(RunCommand("pack", {At("packed.dat"), At("a.txt")}), 0);
  platform::FileClose(open);
  EXPECT_FALSE(fs::exists(At(killed)));
  for (const auto& name : {recent, running, users}) EXPECT_TRUE(fs::exists(At(name))) << name;

  const std::string longest(255 - 4, 'n');
  EXPECT_EQ(RunCommand("pack", {At(longest + ".dat"), At("a.txt")}), 0);
  EXPECT_TRUE(fs::exists(At(longest + ".dat")));

  // The reply cannot be written (files are limited to 8 bytes): the folder made for it goes.
  WriteFile(At("launcher.exe"), LauncherWith(Archive({{"instTQ.exe", "MZ"}})));
  fs::create_directory(At("web"));
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(RunCommand("publish", {"--unsigned", "--offline", At("launcher.exe"), At("web")}), EWriteError);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(payloadtest::Listing(AsPath(At("web"))).size(), 0u);
}
#endif

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

  testing::internal::CaptureStderr();
  EXPECT_EQ(RunCommand("pack", {At("refused.dat"), At(shuoming), At(hangul)}), kExitNo);
  const std::string refusal = testing::internal::GetCapturedStderr();
  EXPECT_NE(refusal.find("\"" + hangul + "\""), std::string::npos) << refusal;
  EXPECT_FALSE(fs::exists(At("refused.dat")));
}

// Names are told apart as Windows tells files apart: by character, case folded, in every
// command. Each pair below is two characters of code page 936 whose trail bytes differ only as
// an ASCII letter's case would ("\xDF\x4D" and "\xDF\x6D"): two files. Д and д are one file.
TEST_F(VendorCommands, NamesAreComparedAsWindowsComparesThem) {
  const std::vector<std::string> different = {
      "\xE9\x80\xB2", "\xE9\x81\xA9", "\xE8\xAA\xAA", "\xE8\xAA\x87", "\xE9\x95\xB7", "\xE9\x96\x98", "\xE9\x96\x80",
      "\xE9\x96\xA0", "\xE9\xAB\x94", "\xE9\xAA\x94", "\xE9\xBB\x9E", "\xE9\xBA\xAE", "\xE5\xAD\xB8", "\xE5\xAF\x83"};
  std::vector<std::string> files{At("all.dat")};
  for (const auto& name : different) {
    WriteFile(At(name + ".txt"), name);
    files.push_back(At(name + ".txt"));
  }
  ASSERT_EQ(RunCommand("pack", files), 0);
  ASSERT_EQ(RunCommand("extract", {At("all.dat"), At("out")}), 0);
  for (const auto& name : different) EXPECT_EQ(ReadFile(At("out/" + name + ".txt")), name);

  const std::string upper = "\xD0\x94.txt", lower = "\xD0\xB4.txt";  // Д, д
  WriteFile(At(upper), "upper");
  WriteFile(At(lower), "lower");
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunCommand("pack", {At("cyrillic.dat"), At(upper), At(lower)}), kExitNo);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("two entries would be named"), std::string::npos);
  WriteFile(At("cyrillic.dat"), Archive({{"\xA7\xA5.txt", "upper"}, {"\xA7\xD5.txt", "lower"}}));
  EXPECT_EQ(RunCommand("extract", {At("cyrillic.dat"), At("cyrillic")}), kExitNo);
  EXPECT_FALSE(fs::exists(At("cyrillic")));

  // The output's name is compared with the files', never stored: Hangul is no character of 936.
  WriteFile(At("stub.exe"), BuildStub(LauncherResources(false)));
  WriteFile(At("MySetup.exe"), BuildStub({}));
  const std::string setup = "\xEC\x84\xA4\xEC\xB9\x98.exe";  // 설치.exe
  EXPECT_EQ(RunCommand("attach", {At("stub.exe"), At("MySetup.exe"), At(upper), "-o", At(setup)}), 0);
  EXPECT_EQ(platform::KindOfPath(AsPath(At(setup))), platform::PathKind::File);
}

// Nothing a file holds reaches the vendor's terminal raw: every command is run on files made to
// move the cursor, retitle the window and clear the screen, and what it prints holds no escape.
TEST_F(VendorCommands, NoCommandPassesAnEscapeFromAFileToTheTerminal) {
  const std::string esc = "\x1b]0;owned\x07\x1b[2J",
                    c1 = "\xC2\x9B"
                         "2J",
                    bidi = "\xE2\x80\xAE";
  const std::string hostileName = "a" + esc + c1 + bidi + ".txt";
  WriteFile(At("hostile.dat"), payloadtest::Int32(1) + payloadtest::Entry(hostileName, "x"));
  std::string sections = BuildStub(LauncherResources(false));
  sections.replace(SectionAt(0), 8, "\x1b[2J\x1b]0;");
  Put32(sections, SectionAt(0) + 20, 0x7FFFFFF0);  // and its data far past the file's end
  WriteFile(At("sections.exe"), sections);
  std::string settings = std::string(kSettings) + "home-page=http://x/" + esc + "\n";
  WriteFile(At("settings.exe"), LauncherWith(Archive({{"instTQ.exe", "MZ"}, {"b" + c1 + ".txt", "y"}}), settings));
  WriteFile(At("launcher.exe"), LauncherWith(payloadtest::Int32(1) + payloadtest::Entry(hostileName, "x")));
  WriteFile(At("reply.htm"), esc + c1 + bidi);
  // Names with control characters are made freely on Linux only; Windows refuses them.
  const bool linux = platform::PathDelim() == '/';
  const std::string release = At(linux ? "release" + esc + ".cmake" : "release.cmake");
  WriteFile(release, "set(SETUPTQ_PRODUCT_CODE \"" + esc + "\")\n");
  WriteFile(At("stub.exe"), BuildStub(LauncherResources(false)));
  if (linux) WriteFile(At(hostileName), "a file named to attack");
  const std::string mirror = "http://127.0.0.91:9/";  // nothing answers there
  const std::vector<std::vector<std::string>> runs = {
      {"list", At("hostile.dat")},
      {"list", At("launcher.exe")},
      {"extract", At("hostile.dat"), At("out")},
      {"extract", At("launcher.exe"), At("out")},
      {"info", At("sections.exe")},
      {"info", At("settings.exe")},
      {"info", At("launcher.exe")},
      {"info", "--json", At("settings.exe")},
      {"attach", At("stub.exe"), "--archive", At("hostile.dat"), "-o", At("out.exe")},
      {"attach", At("sections.exe"), At("stub.exe"), "-o", At("out.exe")},
      {"pack", At("packed.dat"), At(hostileName)},
      {"decode", At("reply.htm"), At("settings.exe")},
      {"check-release", "--release-file", release, "--mirror", mirror, At("settings.exe")},
      {"check-mirrors", "--mirror", mirror, At("settings.exe")},
      {"publish", "--unsigned", "--offline", At("settings.exe"), At("web")},
  };
  for (const auto& run : runs) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      RunCommand(run[0], std::vector<std::string>(run.begin() + 1, run.end()));
    } catch (const Exception& e) {
      Print(stderr, "setupkit %s: %s\n", run[0].c_str(), ErrorText(e).c_str());  // as main reports it
    }
    const std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << run[0] << ": " << said;
    EXPECT_EQ(said.find('\x07'), std::string::npos) << run[0] << ": " << said;
    EXPECT_EQ(said.find("\xC2\x9B"), std::string::npos) << run[0] << ": " << said;
    EXPECT_EQ(said.find(bidi), std::string::npos) << run[0] << ": " << said;
  }
}
