// The operating-system services the launcher stands on, in both builds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "CodePageForTest.h"
#include "base/Classes.h"
#include "platform/Platform.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
std::string FileNameOf(const TPath& path) { return path.Native().substr(path.Native().find_last_of("\\/") + 1); }

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("tq-platform-" + std::to_string(platform::CurrentProcessId()))).string();
    fs::remove_all(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  TPath At(const std::string& rel) const { return TPath::FromNative(dir_ + platform::PathDelim() + rel); }
  std::string dir_;
};
}  // namespace

// ---- the running program --------------------------------------------------------------

TEST(RunningProgram, ModuleFileNameIsTheRunningTestProgram) {
  const TPath me = platform::ModuleFileName();
  EXPECT_EQ(FileNameOf(me).rfind("test_platform", 0), 0u) << me.Native();
  EXPECT_TRUE(fs::exists(me.Native())) << me.Native();
  EXPECT_EQ(platform::ParamStr(0), me);
}

TEST(RunningProgram, ResourcesAreFoundByNameAndTypeWithoutRegardToCase) {
  const std::string bytes = "resource bytes of the test program\n";
  platform::RegisterModuleResource("TQTEST", "DAT", bytes);  // the Linux build's stand-in
  std::string got;
  ASSERT_TRUE(platform::FindModuleResource("TqTest", "dat", got));
  EXPECT_EQ(got, bytes);
  EXPECT_FALSE(platform::FindModuleResource("TQTEST", "BMP", got));
  EXPECT_FALSE(platform::FindModuleResource("NOSUCH", "DAT", got));
}

TEST(RunningProgram, SnapshotListsTheCallingProcessUnderItsFileName) {
  platform::ProcessSnapshot snap;
  platform::ProcessEntry e;
  bool found = false;
  int guard = 0;
  for (bool more = snap.First(e); more && guard < 100000; more = snap.Next(e), ++guard) {
    if (e.processId != platform::CurrentProcessId()) continue;
    found = true;
    EXPECT_EQ(FileNameOf(e.exeFile), FileNameOf(platform::ModuleFileName()));
  }
  EXPECT_TRUE(found);
}

TEST(RunningProgram, ProcessThatCannotBeFoundIsNotTerminated) {
  EXPECT_EQ(platform::TerminateProcessById(0x7FFFFFF0u), 0);
}

// ---- files ----------------------------------------------------------------------------

TEST_F(Files, ForceDirectoriesCreatesEveryMissingParent) {
  const TPath deep = At(std::string("a") + platform::PathDelim() + "b" + platform::PathDelim() + "c");
  EXPECT_FALSE(platform::DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep + platform::PathDelim()));
  EXPECT_TRUE(platform::DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // existing: fine
}

TEST_F(Files, AnyFolderNameWorksOnEveryCodePage) {
  // テストソ: its last character is 0x83 0x5C in code page 932, and 张伟 has no characters in
  // 1252; both are kept whole whatever the system's code page, and nothing is made beside.
  const std::string tesutoSo = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x82\xBD",
                    zhangWei = "\xE5\xBC\xA0\xE4\xBC\x9F";
  const char d = platform::PathDelim();
  for (unsigned cp : {932u, 1252u}) {
    CodePageForTest system(cp);
    EXPECT_TRUE(ForceDirectories(At(tesutoSo + d + "sub" + d)));
    EXPECT_TRUE(ForceDirectories(At(zhangWei)));
  }
  int err = 0;
  auto h = platform::FileOpen(At(tesutoSo + d + "sub" + d + zhangWei + ".txt"), platform::FileAccess::ReadWrite,
                              platform::FileShare::None, platform::FileCreate::CreateAlways, err);
  ASSERT_NE(h, platform::kInvalidFile) << err;
  platform::FileClose(h);
  // As the file system names them (std::filesystem takes UTF-8 here).
  EXPECT_TRUE(fs::exists(fs::path(dir_) / fs::path(u8"テストソ") / "sub" / fs::path(u8"张伟.txt")));
  std::set<fs::path> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<fs::path>{fs::path(u8"テストソ"), fs::path(u8"张伟")}));
}

TEST_F(Files, CreateAlwaysReplacesAnExistingFile) {
  ForceDirectories(TPath::FromNative(dir_));
  int err = 0;
  for (const std::string text : {"a much longer first content", "short"}) {
    auto h = platform::FileOpen(At("f.bin"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                                platform::FileCreate::CreateAlways, err);
    ASSERT_NE(h, platform::kInvalidFile);
    EXPECT_EQ(platform::FileWrite(h, text.data(), static_cast<int>(text.size())), static_cast<int>(text.size()));
    platform::FileClose(h);
  }
  EXPECT_EQ(fs::file_size(At("f.bin").Native()), 5u);
}

TEST_F(Files, OpeningAMissingFileFailsWithTheSystemsReason) {
  int err = 0;
  auto h = platform::FileOpen(At("none.bin"), platform::FileAccess::Read, platform::FileShare::Read,
                              platform::FileCreate::OpenExisting, err);
  EXPECT_EQ(h, platform::kInvalidFile);
  EXPECT_NE(err, 0);
  EXPECT_FALSE(platform::SystemErrorText(err).Empty());
}

TEST_F(Files, SeekReadAndSizeAgree) {
  ForceDirectories(TPath::FromNative(dir_));
  TMemoryStream src(std::string(100000, 'z'));
  {
    TFileStream f(At("s.bin"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                  platform::FileCreate::CreateAlways);
    f.CopyFrom(src, 0);
    EXPECT_EQ(f.Size(), 100000);
    f.SetPosition(99990);
    char buf[32];
    EXPECT_EQ(f.Read(buf, sizeof buf), 10);
  }
}

// ---- clock and desktop ----------------------------------------------------------------

TEST(Clock, LocalDateIsACalendarDate) {
  auto now = platform::LocalNow();
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  std::int64_t pc = 0;
  EXPECT_TRUE(platform::PerformanceCounter(pc));
}

// CTest runs the unit tests under TZ=Asia/Shanghai (UTC+8 all year); under Wine the zone
// comes from the same variable. The bias is what local time needs added to give UTC.
TEST(Clock, ZoneBiasIsMinutesFromLocalTimeToUtc) {
  const char* tz = std::getenv("TZ");
  ASSERT_TRUE(tz && std::string(tz) == "Asia/Shanghai") << "run the unit tests with TZ=Asia/Shanghai, as CTest does";
  EXPECT_EQ(platform::LocalBiasMinutes(), -480);
}

TEST(Desktop, CursorPositionReadsBackWhereItWasPut) {
  platform::SetCursorPos(500, 300);
  int x = 0, y = 0;
  platform::CursorPos(x, y);
  EXPECT_EQ(x, 500);
  EXPECT_EQ(y, 300);
}

// ---- texts ------------------------------------------------------------------------------

TEST(Texts, PathsAndTheProgramsTextsConvertBothWays) {
  // 防木马云验证 as the program writes it (code page 936), as a path and back.
  const TText text = "\xB7\xC0\xC4\xBE\xC2\xED\xD4\xC6\xD1\xE9\xD6\xA4";
  EXPECT_EQ(platform::PathFromText(text).Native(),
            "\xE9\x98\xB2\xE6\x9C\xA8\xE9\xA9\xAC\xE4\xBA\x91\xE9\xAA\x8C\xE8\xAF\x81");  // UTF-8
  EXPECT_EQ(platform::PathText(platform::PathFromText(text)), text);
  EXPECT_EQ(platform::PathText(TPath::FromNative("C:\\setup.exe")), "C:\\setup.exe");
  // The lead bytes the system itself gives for each code page.
  EXPECT_TRUE(platform::IsLeadByte(932, 0x83));
  EXPECT_FALSE(platform::IsLeadByte(932, 0xA5));
  EXPECT_TRUE(platform::IsLeadByte(950, 0xA5));
  EXPECT_TRUE(platform::IsLeadByte(936, 0xB1));
  EXPECT_FALSE(platform::IsLeadByte(1252, 0xB1));
}

// A folder held open stays the folder it was checked to be: a link planted in its place later
// (Linux) is never written through, and on Windows the folder cannot be moved away while held.
// A rename onto a link replaces the link, never the file it points to.
TEST_F(Files, AHeldFolderIsNotRedirectedByALinkPlantedLater) {
  fs::create_directories(At("target/sub").Native());
  fs::create_directories(At("elsewhere").Native());
  platform::Folder root(At("target"));
  ASSERT_TRUE(root.IsOpen());
  int error = 0;
  std::unique_ptr<platform::Folder> sub = root.Sub("sub", error);
  ASSERT_TRUE(sub) << error;
  std::error_code moved;
  fs::rename(At("target/sub").Native(), At("target/moved").Native(), moved);
  if (platform::PathDelim() == '\\') {
    // Windows denies the move while the folder is held; Wine does not, and has no links to plant.
    if (!moved) GTEST_SKIP() << "a held folder was moved: Wine, which does not deny it as Windows does";
    EXPECT_NE(sub->CreateNew("file.tmp", error), platform::kInvalidFile) << error;
    return;
  }
  ASSERT_FALSE(moved) << moved.message();
  fs::create_directory_symlink(At("elsewhere").Native(), At("target/sub").Native());
  const platform::FileHandle h = sub->CreateNew("file.tmp", error);
  ASSERT_NE(h, platform::kInvalidFile) << error;
  platform::FileClose(h);
  EXPECT_TRUE(fs::is_empty(At("elsewhere").Native()));
  EXPECT_TRUE(fs::exists(At("target/moved/file.tmp").Native()));

  EXPECT_EQ(root.Kind("sub"), platform::PathKind::Link);
  EXPECT_FALSE(root.Sub("sub", error));                                  // a link is not opened as a folder
  EXPECT_EQ(sub->CreateNew("file.tmp", error), platform::kInvalidFile);  // never an existing name
  {
    TFileStream victim(At("elsewhere/victim.txt"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                       platform::FileCreate::CreateAlways);
    victim.WriteBuffer("keep", 4);
  }
  fs::create_symlink(At("elsewhere/victim.txt").Native(), At("target/moved/out.txt").Native());
  EXPECT_EQ(sub->CreateNew("out.txt", error), platform::kInvalidFile);  // not through the link either
  ASSERT_TRUE(sub->Rename("file.tmp", "out.txt", error)) << error;
  EXPECT_EQ(sub->Kind("out.txt"), platform::PathKind::File);
  EXPECT_EQ(fs::file_size(At("elsewhere/victim.txt").Native()), 4u);
}

#if !defined(_WIN32)
// An interrupted run removes the temporaries it registered and still ends as interrupted.
TEST_F(Files, AnInterruptRemovesTheRegisteredTemporaries) {
  fs::create_directories(dir_);
  for (int signal : {SIGINT, SIGTERM}) {
    const TPath kept = At("kept.txt"), temporary = At(".out.tmp");
    const pid_t child = fork();
    if (child == 0) {
      int error = 0;
      for (const auto& path : {kept, temporary})
        platform::FileClose(platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                               platform::FileCreate::CreateAlways, error));
      platform::UnregisterTemporary(platform::RegisterTemporary(kept));
      platform::RegisterTemporary(temporary);
      platform::InstallInterruptCleanup();
      raise(signal);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_FALSE(fs::exists(temporary.Native())) << signal;
    EXPECT_TRUE(fs::exists(kept.Native())) << signal;
  }
}
#endif

TEST(Texts, EachConversionKeepsWhatItCanAndSaysWhatItCannot) {
  // A Hangul folder: code page 936 has no such characters.
  const TPath hangul = TPath::FromNative("C:\\\xED\x95\x9C\xEA\xB8\x80\\setupTQ.exe");
  EXPECT_EQ(platform::PathText(hangul), "C:\\??\\setupTQ.exe");  // shown as a text: "?" for each
  TText exact = "untouched";
  EXPECT_FALSE(platform::PathTextExact(hangul, exact));  // stored as a text: refused
  EXPECT_EQ(exact, "untouched");
  // 東方.dll and 億.txt: the trail bytes 0x7C ("|") in code page 936, both ways whole.
  for (const auto& [utf8, gbk] :
       {std::pair<std::string, std::string>{"\xE6\x9D\xB1\xE6\x96\xB9.dll", "\x96\x7C\xB7\xBD.dll"},
        {"\xE5\x84\x84.txt", "\x83\x7C.txt"}}) {
    ASSERT_TRUE(platform::PathTextExact(TPath::FromNative(utf8), exact)) << utf8;
    EXPECT_EQ(exact.Bytes(), gbk);
    EXPECT_EQ(platform::PathFromText(gbk).Native(), utf8);
  }
}

TEST(Texts, AMessageShowsAPathAndTheSystemsWordsWhole) {
  // Our text (936), a Hangul folder and a Korean reason ("access denied"): composed in the
  // platform's form nothing is lost; only a text of the program has "?" for what 936 lacks.
  const TPath folder = TPath::FromNative("C:\\\xED\x95\x9C\xEA\xB8\x80");
  const TDisplayText reason = TDisplayText::FromSystem("\xEC\xA0\x91\xEA\xB7\xBC \xEA\xB1\xB0\xEB\xB6\x80");
  const TDisplayText message = TDisplayText("\xCE\xDE\xB7\xA8\xB1\xA3\xB4\xE6\xA1\xB0") + folder + "\xA1\xB1" + reason;
  EXPECT_EQ(platform::MessageNative(message),
            "\xE6\x97\xA0\xE6\xB3\x95\xE4\xBF\x9D\xE5\xAD\x98\xE2\x80\x9C"  // 无法保存“
            "C:\\\xED\x95\x9C\xEA\xB8\x80\xE2\x80\x9D"                      // C:\한글”
            "\xEC\xA0\x91\xEA\xB7\xBC \xEA\xB1\xB0\xEB\xB6\x80");           // 접근 거부
  EXPECT_EQ(platform::MessageText(message).Bytes(),
            "\xCE\xDE\xB7\xA8\xB1\xA3\xB4\xE6\xA1\xB0"
            "C:\\??\xA1\xB1?? ??");
}
