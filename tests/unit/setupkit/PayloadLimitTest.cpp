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
  WriteFile(dir.At("stub.exe"), stubtest::BuildStub(stubtest::LauncherResources(false)));
  WriteFile(dir.At("payload.dat"), "");
  fs::resize_file(dir.At("payload.dat"),
                  static_cast<std::uintmax_t>(kMaxPayloadBytes) + 1);  // sparse: nothing is written
  try {
    AttachPayload({dir.At("stub.exe"), "", dir.At("payload.dat"), {}, dir.At("setupTQ.exe")});
    ADD_FAILURE() << "a payload past the limit was attached";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("a launcher carries 1342177280 bytes (1.25 GiB) at most"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.At("setupTQ.exe")));
}
