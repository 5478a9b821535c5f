// A file that another process holds open for writing cannot be fingerprinted. The holder is
// this test binary started a second time, running only the disabled helper test below; it
// finds the file to hold in "<this binary>.hold" and answers through marker files beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "VerifyTestFiles.h"
#include "verify/QORMD5Unit.h"
#include "verify/ShareCodeCheckunit.h"

using verifytest::FileExists;
using verifytest::ScratchPath;

namespace {

constexpr int kPollMs = 20;
constexpr int kPollLimit = 6000;  // two minutes: only a hung holder takes this long

std::string HoldRequestPath() { return platform::ModuleFileName() + ".hold"; }
std::string ReadyMarker(const std::string& held) { return held + ".ready"; }
std::string ReleaseMarker(const std::string& held) { return held + ".release"; }

bool WaitFor(const std::string& path, bool present) {
  for (int i = 0; i < kPollLimit; ++i) {
    if (FileExists(path) == present) return true;
    platform::SleepMs(kPollMs);
  }
  return false;
}

// Whether this platform refuses a deny-write open while a writer holds the file. POSIX files
// have no share modes, so there the case does not arise.
bool ShareModesEnforced(const std::string& path) {
  int error = 0;
  platform::FileHandle writer = platform::FileOpen(path, platform::FileAccess::ReadWrite,
                                                   platform::FileShare::ReadWrite,
                                                   platform::FileCreate::OpenExisting, error);
  platform::FileHandle reader = platform::FileOpen(path, platform::FileAccess::Read, platform::FileShare::Read,
                                                   platform::FileCreate::OpenExisting, error);
  const bool enforced = writer != platform::kInvalidFile && reader == platform::kInvalidFile;
  platform::FileClose(reader);
  platform::FileClose(writer);
  return enforced;
}

}  // namespace

TEST(HeldFile, AFileAnotherProcessWritesCannotBeFingerprintedAndNothingIsStored) {
  const std::string held = ScratchPath("held.bin");
  verifytest::WriteFile(held, "a launcher being written");
  if (!ShareModesEnforced(held)) GTEST_SKIP() << "this platform has no share modes";
  std::remove(ReadyMarker(held).c_str());
  std::remove(ReleaseMarker(held).c_str());
  verifytest::WriteFile(HoldRequestPath(), held);

  // 0: start the holder hidden.
  const std::intptr_t started = platform::ShellExecute(
      0, "open", platform::ModuleFileName(),
      "--gtest_filter=HeldFile.DISABLED_HoldForWriting --gtest_also_run_disabled_tests", 0);
  ASSERT_GT(started, 32) << "the holder process did not start";
  ASSERT_TRUE(WaitFor(ReadyMarker(held), true)) << "the holder never reported";

  TShareCode record;
  record.ExeMD5 = "0123456789abcdef0123456789abcdef";
  EXPECT_THROW(GetFileMD5(held), EFOpenError);
  EXPECT_THROW(record.LoadExeMD5From(held), EFOpenError);
  EXPECT_EQ(record.GetExeMD5(), "0123456789abcdef0123456789abcdef");

  // Once the holder lets go, the same file fingerprints: the refusal was the hold.
  verifytest::WriteFile(ReleaseMarker(held), "");
  ASSERT_TRUE(WaitFor(ReadyMarker(held), false)) << "the holder never let go";
  record.LoadExeMD5From(held);
  EXPECT_EQ(record.GetExeMD5(), GetFileMD5(held));
  std::remove(ReleaseMarker(held).c_str());
  std::remove(HoldRequestPath().c_str());
}

// The holder: opens the requested file for writing (sharing everything, so only the other
// opener's own deny-write request can fail), reports ready, waits for the release marker
// (or two minutes), closes and withdraws the ready marker. Used by the test above and by
// tests/e2e/held_launcher.sh.
TEST(HeldFile, DISABLED_HoldForWriting) {
  const std::string held = verifytest::ReadFile(HoldRequestPath());
  int error = 0;
  platform::FileHandle h = platform::FileOpen(held, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                              platform::FileCreate::OpenExisting, error);
  ASSERT_NE(h, platform::kInvalidFile) << "cannot hold " << held << ": " << platform::SystemErrorText(error);
  verifytest::WriteFile(ReadyMarker(held), "");
  const bool released = WaitFor(ReleaseMarker(held), true);
  platform::FileClose(h);
  std::remove(ReadyMarker(held).c_str());
  EXPECT_TRUE(released);
}
