// The extraction window on the headless toolkit: ramp, work, launch, and the stalled states.
#include <gtest/gtest.h>

#include <filesystem>

#include "LauncherState.h"
#include "PayloadTestSupport.h"
#include "RunningCopy.h"
#include "gui/headless/Headless.h"
#include "windows/UnzipSoftUnit.h"

namespace hl = gui::headless;
using payloadtest::ReadFile;
using payloadtest::TempDir;
using payloadtest::WriteFile;

namespace {
const std::string kInstaller = std::string("MZ demo installer\0\x01\x02", 20) + std::string(100000, 'i');

std::string ArchiveOf(const std::string& name, const std::string& bytes) {
  TMemoryStream out;
  TArchiveWriter w(out, 1);
  w.AddEntry(name, bytes);
  return out.DataString();
}

class ExtractionWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    testseams::ResetLauncherState();
    archive_ = ArchiveOf("instTQ.exe", kInstaller);
  }
  void TearDown() override { testseams::ResetLauncherState(); }

  // A window whose program lives in `dir`, launching into a record instead of the shell.
  std::unique_ptr<TFrmUnzipSoft> Make(const TPath& programDir) {
    auto f = std::make_unique<TFrmUnzipSoft>(nullptr);
    f->ProgramPath = programDir + platform::PathDelim() + "setupTQ.exe";
    f->LoadArchive = [this](const char*& data, std::size_t& size) {
      data = archive_.data();
      size = archive_.size();
      return true;
    };
    f->Launch = [this](const TPath& file, const TPath& params) -> std::intptr_t {
      launched_.push_back(file.Native() + "|" + params.Native());
      return launchResult_;
    };
    return f;
  }
  std::string archive_;
  std::vector<std::string> launched_;
  std::intptr_t launchResult_ = 42;  // the shell's result: started
  TempDir dir_;
};
}  // namespace

// ---- what the user sees ---------------------------------------------------------------

TEST_F(ExtractionWindow, ShowsItsCaptionSizeColourAndTheFileNames) {
  auto f = Make(dir_.Path());
  EXPECT_EQ(f->Caption(), "正在解压缩安装包...");
  EXPECT_EQ(f->Left(), 197);
  EXPECT_EQ(f->Top(), 284);
  EXPECT_EQ(f->Width(), 662);
  EXPECT_EQ(f->Height(), 101);
  EXPECT_EQ(f->Color(), 16710389u);
  EXPECT_EQ(f->Label1->Caption(), "正在提取压缩包install.dat，并解压成instTQ.exe，请等待...");
  EXPECT_EQ(f->Label1->Width(), 425);         // fixed size, whatever the text
  EXPECT_EQ(f->Label1->Font().Name, "宋体");  // which holds its text in every code page
  EXPECT_EQ(f->ProgressBar1->Top() + f->ProgressBar1->Height(), f->ClientHeight());
  EXPECT_EQ(f->ProgressBar1->Width(), f->ClientWidth());
}

TEST_F(ExtractionWindow, BarRampsByTenEveryTenthOfASecondAndNothingIsWrittenMeanwhile) {
  auto f = Make(dir_.Path());
  std::vector<int> positions;
  hl::WhenModal([&](TForm&) {
    for (int tick = 1; tick <= 18; ++tick) {
      hl::RunFor(100);
      positions.push_back(f->ProgressBar1->Position());
    }
    EXPECT_FALSE(payloadtest::fs::exists(dir_.At("install.dat")));
  });
  f->ShowModal();
  ASSERT_EQ(positions.size(), 18u);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(positions[static_cast<size_t>(i)], 10 * (i + 1));
}

TEST_F(ExtractionWindow, NineteenthTickSavesUnpacksLaunchesWithTheFirstArgumentAndEnds) {
  auto f = Make(dir_.Path());
  f->ShowModal();
  EXPECT_EQ(hl::Now(), 1900u);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::Terminated);
  EXPECT_TRUE(ReadFile(dir_ / "install.dat") == archive_);
  EXPECT_TRUE(ReadFile(dir_ / "instTQ.exe") == kInstaller);
  ASSERT_EQ(launched_.size(), 1u);
  EXPECT_EQ(launched_[0], dir_.At("instTQ.exe") + "|" + platform::ParamStr(1).Native());
  EXPECT_FALSE(f->Timer1->Enabled());
}

TEST_F(ExtractionWindow, ASecondRunReplacesTheFilesOfAnEarlierOne) {
  WriteFile(dir_ / "install.dat", "old archive, longer than nothing");
  WriteFile(dir_ / "instTQ.exe", std::string(300000, 'o'));
  Make(dir_.Path())->ShowModal();
  EXPECT_TRUE(ReadFile(dir_ / "install.dat") == archive_);
  EXPECT_TRUE(ReadFile(dir_ / "instTQ.exe") == kInstaller);
}

TEST_F(ExtractionWindow, CloseRequestDuringTheWorkLetsTheWorkFinish) {
  auto f = Make(dir_.Path());
  auto load = f->LoadArchive;
  f->LoadArchive = [&](const char*& data, std::size_t& size) {
    hl::PostClose(*f);  // seen at the next message-pumping point
    return load(data, size);
  };
  f->ShowModal();
  EXPECT_EQ(launched_.size(), 1u);
  EXPECT_TRUE(ReadFile(dir_ / "instTQ.exe") == kInstaller);
}

// ---- ending without installing --------------------------------------------------------

TEST_F(ExtractionWindow, ClosingBeforeTheWorkWritesAndLaunchesNothing) {
  auto f = Make(dir_.Path());
  hl::PostClose(*f, 1850);
  EXPECT_EQ(f->ShowModal(), mrCancel);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
  EXPECT_TRUE(payloadtest::Listing(dir_.Path()).empty());
  EXPECT_TRUE(launched_.empty());
}

// ---- a failed work step: told, and nothing launched ---------------------------------------

// The run ended by itself after one error box, captioned with the application title, with the
// error icon and OK, and nothing was launched. The box's text is returned.
std::string EndedWithOneErrorBox(const std::vector<std::string>& launched) {
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::Terminated);
  EXPECT_TRUE(launched.empty());
  EXPECT_EQ(hl::MessageBoxes().size(), 1u);
  if (hl::MessageBoxes().size() != 1) return std::string();
  const hl::MessageBoxRecord& box = hl::MessageBoxes()[0];
  EXPECT_EQ(box.caption, "Parvalo安装程序");
  EXPECT_EQ(box.flags, gui::kMbOk | gui::kMbIconError);
  return box.text;
}

class FailedExtractionWork : public ExtractionWindow {
 protected:
  void SetUp() override {
    ExtractionWindow::SetUp();
    Application->SetTitle("Parvalo安装程序");
  }
};

TEST_F(FailedExtractionWork, MissingResourceIsNamedAndNothingIsWritten) {
  auto f = Make(dir_.Path());
  f->LoadArchive = [](const char*&, std::size_t&) { return false; };
  f->ShowModal();
  EXPECT_EQ(EndedWithOneErrorBox(launched_), "找不到程序中的安装包，请重新下载安装程序。");
  EXPECT_EQ(hl::Now(), 1900u);
  EXPECT_TRUE(payloadtest::Listing(dir_.Path()).empty());
}

TEST_F(FailedExtractionWork, UnwritableFolderNamesTheArchiveFileAndTheSystemsReason) {
  // A Hangul folder: code page 936 has none of its characters, and the box shows it whole.
  const TPath folder = dir_ / "\xED\x95\x9C\xEA\xB8\x80-no-such-folder";
  auto f = Make(folder);
  f->ShowModal();
  const std::string text = EndedWithOneErrorBox(launched_);
  ASSERT_FALSE(text.empty());
  const std::string whole = hl::MessageBoxes()[0].whole;
  int code = 0;
  const TPath archive = folder + platform::PathDelim() + "install.dat";  // one separator
  ASSERT_EQ(platform::FileOpen(archive, platform::FileAccess::ReadWrite, platform::FileShare::None,
                               platform::FileCreate::CreateAlways, code),
            platform::kInvalidFile);
  const TDisplayText expected =
      TDisplayText("无法保存安装包“") + platform::ExpandFileName(archive) + "”。\r\n" + platform::SystemErrorText(code);
  EXPECT_EQ(whole.rfind(platform::MessageNative(expected), 0), 0u) << whole;
  EXPECT_NE(whole.find("\xED\x95\x9C\xEA\xB8\x80-no-such-folder"), std::string::npos) << whole;
  EXPECT_EQ(text.rfind(platform::MessageText(expected).Bytes(), 0), 0u) << text;
  EXPECT_EQ(f->ProgressBar1->Position(), 0) << "the bar shows work that was not done";
  EXPECT_FALSE(f->Timer1->Enabled());
}

TEST_F(FailedExtractionWork, CorruptEntryIsNamedAndAStaleOrPartialInstallerIsNeverLaunched) {
  std::string broken = archive_;
  broken.resize(broken.size() / 2);  // the zlib stream ends early
  archive_ = broken;
  WriteFile(dir_ / "instTQ.exe", "stale installer of an earlier run");
  auto f = Make(dir_.Path());
  f->ShowModal();
  const std::string text = EndedWithOneErrorBox(launched_);
  EXPECT_EQ(text, "安装包已损坏，无法解压instTQ.exe，请重新下载安装程序。");
  EXPECT_TRUE(ReadFile(dir_ / "install.dat") == broken);
  EXPECT_FALSE(payloadtest::fs::exists(dir_.At("instTQ.exe"))) << "a part of the installer was left";
}

// The installer unpacked whole but the system will not start it: said, never a silent end.
TEST_F(FailedExtractionWork, AnInstallerThatDoesNotStartIsNamedWithTheSystemsReason) {
  launchResult_ = 2;  // the shell found no such file
  auto f = Make(dir_.Path());
  f->ShowModal();
  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  const std::string& text = hl::MessageBoxes()[0].text;
  const TDisplayText expected = TDisplayText("无法启动安装程序“") + platform::ExpandFileName(dir_ / "instTQ.exe") +
                                "”。\r\n" + platform::SystemErrorText(2);
  EXPECT_EQ(text, ErrorBoxText(platform::MessageText(expected).Bytes()));
  EXPECT_EQ(hl::MessageBoxes()[0].flags, gui::kMbOk | gui::kMbIconError);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::Terminated);
}

// A disk that fills up while the archive is saved: the box names the saving, and nothing of the
// archive is left for anyone to take for the whole.
TEST_F(FailedExtractionWork, AFullDiskWhileSavingNamesTheSavingAndLeavesNoPart) {
  std::error_code ec;
  std::filesystem::create_symlink("/dev/full", dir_.At("install.dat"), ec);
  if (ec || !std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device to write to here";
  auto f = Make(dir_.Path());
  f->ShowModal();
  EXPECT_EQ(EndedWithOneErrorBox(launched_), "无法写入install.dat，磁盘空间可能不足。");
  EXPECT_TRUE(payloadtest::Listing(dir_.Path()).empty());
}

// A disk that fills up: a write falls short, and the box says so rather than blaming the archive.
// (The installer's file stands for a full disk where the system has one to point at.)
TEST_F(FailedExtractionWork, AWriteThatFallsShortIsNotTakenForADamagedArchive) {
  std::error_code ec;
  std::filesystem::create_symlink("/dev/full", dir_.At("instTQ.exe"), ec);
  if (ec || !std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device to write to here";
  auto f = Make(dir_.Path());
  f->ShowModal();
  EXPECT_EQ(EndedWithOneErrorBox(launched_), "无法写入instTQ.exe，磁盘空间可能不足。");
  EXPECT_FALSE(payloadtest::fs::exists(dir_.At("instTQ.exe")));
}

TEST_F(FailedExtractionWork, InstallerHeldOpenByAnotherProgramIsNamedWithTheSystemsReason) {
  WriteFile(dir_ / "instTQ.exe", "installer of a running copy");
  int code = 0;
  const platform::FileHandle held =
      platform::FileOpen(dir_ / "instTQ.exe", platform::FileAccess::ReadWrite, platform::FileShare::None,
                         platform::FileCreate::OpenExisting, code);
  ASSERT_NE(held, platform::kInvalidFile);
  const platform::FileHandle second =
      platform::FileOpen(dir_ / "instTQ.exe", platform::FileAccess::ReadWrite, platform::FileShare::None,
                         platform::FileCreate::CreateAlways, code);
  if (second != platform::kInvalidFile) {
    platform::FileClose(second);
    platform::FileClose(held);
    GTEST_SKIP() << "this platform's files have no share modes (Windows only)";
  }
  auto f = Make(dir_.Path());
  f->ShowModal();
  platform::FileClose(held);
  const std::string text = EndedWithOneErrorBox(launched_);
  const TDisplayText expected = TDisplayText("无法解压文件“") + platform::ExpandFileName(dir_ / "instTQ.exe") +
                                "”。\r\n" + platform::SystemErrorText(code);
  EXPECT_EQ(text.rfind(platform::MessageText(expected).Bytes(), 0), 0u) << text;
  EXPECT_EQ(hl::MessageBoxes()[0].whole.rfind(platform::MessageNative(expected), 0), 0u);
  EXPECT_EQ(ReadFile(dir_ / "instTQ.exe"), "installer of a running copy");
}

// Before anything is written, running copies of the installer and of a program named as the
// archive are ended (a copy under each name, started from another folder).
TEST_F(ExtractionWindow, OpeningItEndsRunningCopiesOfTheInstallerAndOfTheArchive) {
  const TPath elsewhere = dir_ / "elsewhere";
  ForceDirectories(elsewhere);
  std::vector<std::uint32_t> running;
  for (const char* name : {"instTQ.exe", "install.dat"}) {
    const TPath exe = elsewhere + platform::PathDelim() + name;
    runningcopy::CopySleeper(exe);
    running.push_back(runningcopy::Start(exe, name));
    ASSERT_TRUE(runningcopy::Listed(running.back(), name)) << name;
  }
  auto f = Make(dir_.Path());  // creating the window runs FormCreate
  for (std::uint32_t pid : running) {
    EXPECT_TRUE(platform::WaitProcessExit(pid, 10000)) << "left running: " << pid;
    platform::TerminateProcessById(pid);  // whatever the verdict, nothing stays behind
    platform::WaitProcessExit(pid, 10000);
  }
}
