// Ending running copies of the installer, against real child processes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "RunningCopy.h"
#include "base/Classes.h"
#include "platform/Platform.h"
#include "settings/TerminateProcesses.h"

namespace fs = std::filesystem;

namespace {
// Children get names of their own (with our process id), so that no process of anyone
// else on the machine can match.
class RunningCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    tag_ = std::to_string(platform::CurrentProcessId());
    dir_ = fs::temp_directory_path() / ("tq-term-" + tag_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (auto pid : started_) {
      platform::TerminateProcessById(pid);
      platform::WaitProcessExit(pid, 10000);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Name(const std::string& stem) { return stem + "-" + tag_ + ".exe"; }
  // Starts a copy of the sleeper under `fileName` and waits until the snapshot shows it under
  // that name. A child that ends by itself may be gone before that: `ends` skips the wait.
  std::uint32_t Start(const std::string& fileName, const std::string& args = "", bool ends = false) {
    const TPath exe = TPath::FromNative(dir_.string() + platform::PathDelim() + fileName);
    if (copied_.insert(fileName).second) runningcopy::CopySleeper(exe);
    const std::uint32_t pid =
        ends ? platform::StartProcess(exe, TPath::FromNative(args)) : runningcopy::Start(exe, fileName);
    EXPECT_NE(pid, 0u) << exe.Native();
    started_.push_back(pid);
    if (!ends) {
      EXPECT_TRUE(runningcopy::Listed(pid, fileName)) << fileName;
    }
    return pid;
  }
  static bool Ended(std::uint32_t pid) { return platform::WaitProcessExit(pid, 10000); }
  static bool StillRunning(std::uint32_t pid) { return !platform::WaitProcessExit(pid, 0); }

  std::string tag_;
  fs::path dir_;
  std::set<std::string> copied_;
  std::vector<std::uint32_t> started_;
};
}  // namespace

TEST_F(RunningCopies, NoMatchingProcessGivesZeroAndEndsNothing) {
  std::uint32_t other = Start(Name("tqother"));
  EXPECT_EQ(TerminateProcessesByName(Name("tqnobody")), 0);
  EXPECT_TRUE(StillRunning(other));
}

TEST_F(RunningCopies, MatchingProcessIsEndedAndOthersAreLeftRunning) {
  std::uint32_t target = Start(Name("tqinst"));
  std::uint32_t other = Start(Name("tqother"));
  EXPECT_NE(TerminateProcessesByName(Name("tqinst")), 0);
  EXPECT_TRUE(Ended(target));
  EXPECT_TRUE(StillRunning(other));
}

TEST_F(RunningCopies, ANonAsciiNameGivenAsTheProgramsTextEndsTheImageOfThatName) {
  // The name is a text of the program (code page 936), the snapshot names paths (UTF-8 on
  // Windows): ソ is 0xA5 0xBD as the text and 0x83 0x5C in code page 932, 東 has the trail
  // byte 0x7C. The file name part of each image is all of it, read back from the system's
  // wide snapshot, and only the whole name, converted, matches it.
  const struct {
    std::string text, path;
  } names[] = {{"\xA5\xBD" + Name("tqinst"), "\xE3\x82\xBD" + Name("tqinst")},
               {"\x96\x7C\xB7\xBD" + Name("tqinst"), "\xE6\x9D\xB1\xE6\x96\xB9" + Name("tqinst")}};
  for (const auto& name : names) {
    std::uint32_t other = Start(name.path);
    EXPECT_EQ(TerminateProcessesByName(Name("tqinst")), 0) << name.path;
    EXPECT_TRUE(StillRunning(other)) << name.path;
    EXPECT_NE(TerminateProcessesByName(name.text), 0) << name.path;
    EXPECT_TRUE(Ended(other)) << name.path;
  }
}

TEST_F(RunningCopies, LetterCaseOfTheNameDoesNotMatter) {
  std::uint32_t target = Start(Name("TQINST"));
  EXPECT_NE(TerminateProcessesByName(Name("tqInst")), 0);
  EXPECT_TRUE(Ended(target));
}

TEST_F(RunningCopies, TwoRunningCopiesAreBothEnded) {
  std::uint32_t a = Start(Name("tqtwice"));
  std::uint32_t b = Start(Name("tqtwice"));
  EXPECT_NE(TerminateProcessesByName(Name("tqtwice")), 0);
  EXPECT_TRUE(Ended(a));
  EXPECT_TRUE(Ended(b));
}

TEST_F(RunningCopies, ALauncherRunningUnderTheNameNeverEndsItself) {
  fs::path marker = dir_ / "survived.txt";
  std::uint32_t self = Start(Name("tqself"), "self \"" + marker.string() + "\"", /*ends=*/true);
  ASSERT_TRUE(Ended(self));
  EXPECT_TRUE(fs::exists(marker)) << "the process ended itself before it could write its marker";
}
