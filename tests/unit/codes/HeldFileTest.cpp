// A file held open for writing cannot be fingerprinted; one that others only read can. Share
// modes hold between any two handles, in one process as between two, so the other opener here
// is a handle of the test itself (the launcher against a holder in another process is
// tests/e2e/held_launcher.sh). POSIX files have no share modes, so there the cases do not arise.
#include <gtest/gtest.h>

#include <string>

#include "VerifyTestFiles.h"
#include "codes/QORMD5Unit.h"
#include "codes/ShareCodeCheckunit.h"

namespace {

const char kStored[] = "0123456789abcdef0123456789abcdef";

/// Another opener of the file, closed when the object goes.
class OtherOpener {
 public:
  OtherOpener(const TPath& path, platform::FileAccess access, platform::FileShare share) {
    int error = 0;
    h_ = platform::FileOpen(path, access, share, platform::FileCreate::OpenExisting, error);
    EXPECT_NE(h_, platform::kInvalidFile) << path.Native() << ": " << error;
  }
  ~OtherOpener() { Close(); }
  void Close() {
    platform::FileClose(h_);
    h_ = platform::kInvalidFile;
  }

 private:
  platform::FileHandle h_;
};

class HeldFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::PathDelim() != '\\') GTEST_SKIP() << "POSIX files have no share modes";
    verifytest::WriteFile(path_, "a launcher being written");
    record_.ExeMD5 = kStored;
  }
  const TPath path_ = verifytest::ScratchPath("held.bin");
  TShareCode record_;
};

}  // namespace

TEST_F(HeldFile, AWriterMakesTheFingerprintFailAndNothingIsStoredUntilItLetsGo) {
  // The writer shares everything, so only the fingerprint's own refusal of writers can fail.
  OtherOpener writer(path_, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite);
  EXPECT_THROW(GetFileMD5(path_), EFOpenError);
  EXPECT_THROW(record_.LoadExeMD5From(path_), EFOpenError);
  EXPECT_EQ(record_.GetExeMD5(), kStored);

  writer.Close();
  record_.LoadExeMD5From(path_);
  EXPECT_EQ(record_.GetExeMD5(), GetFileMD5(path_));
  EXPECT_NE(record_.GetExeMD5(), kStored);
}

TEST_F(HeldFile, AReaderThatRefusesWritersDoesNotStopTheFingerprint) {
  OtherOpener reader(path_, platform::FileAccess::Read, platform::FileShare::Read);
  record_.LoadExeMD5From(path_);
  EXPECT_EQ(record_.GetExeMD5(), GetFileMD5(path_));
  EXPECT_NE(record_.GetExeMD5(), kStored);
}
