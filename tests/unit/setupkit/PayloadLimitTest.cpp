// The payload a launcher can carry: attach says how much, and refuses more before reading it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Attach.h"
#include "StubImage.h"
#include "TestFiles.h"

using namespace testfiles;

TEST(AttachLimit, APayloadPastWhatALauncherCarriesIsRefusedNamingTheLimit) {
  namespace fs = std::filesystem;
  TempDir dir;
  WriteFile(dir / "stub.exe", stubtest::BuildStub(stubtest::LauncherResources(false)));
  WriteFile(dir / "payload.dat", "");
  fs::resize_file(dir / "payload.dat",
                  static_cast<std::uintmax_t>(kMaxPayloadBytes) + 1);  // sparse: nothing is written
  try {
    AttachPayload({dir / "stub.exe", "", dir / "payload.dat", {}, dir / "setupTQ.exe"});
    ADD_FAILURE() << "a payload past the limit was attached";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("a launcher carries 1342177280 bytes (1.25 GiB) at most"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(dir / "setupTQ.exe"));
}
