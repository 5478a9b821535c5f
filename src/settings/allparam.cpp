#include "settings/allparam.h"

#include <cstdint>
#include <random>

#include "base/Quietly.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"
#include "settings/MirrorConfig.h"

std::string InstallerExeName;
std::string ArchiveFileName;
float ProductVersion = 0.0f;
std::string ProductDisplayName;
std::string ProductCode;

std::vector<std::string> MirrorList;
std::string HomePageUrl;
std::string FirstMirrorUrl;

void AssignSettings() {
  InstallerExeName = "instTQ.exe";
  ArchiveFileName = "install.dat";
  ProductVersion = static_cast<float>(SETUPTQ_PRODUCT_VERSION);  // 3.6: bit pattern 0x40666666
  ProductDisplayName = "Parvalo";
  ProductCode = SETUPTQ_PRODUCT_CODE;  // both from the release configuration (release.cmake)
}

std::string BuildVerifyRequestPath(char decimalSeparator) {
  std::string version = FloatToStrFixed(static_cast<double>(ProductVersion), 1);  // "%1.1f"
  for (char& c : version)
    if (c == '.') c = decimalSeparator;
  return "brenlow/" + ProductCode + version + "ins.htm";
}

const std::vector<int>& MirrorOrder(int r) {
  // M1..M10 are 0..9. The main-domain mirrors M1..M5 are arranged at the front; M6..M9
  // follow; M10 comes last where present (order 2 has nine entries).
  static const std::vector<int> orders[5] = {
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {4, 0, 1, 2, 3, 5, 6, 7, 8},    {3, 4, 0, 1, 2, 5, 6, 7, 8, 9},
      {2, 3, 4, 0, 1, 5, 6, 7, 8, 9}, {3, 2, 4, 0, 1, 5, 6, 7, 8, 9},
  };
  return orders[r < 0 || r > 4 ? 0 : r];
}

void BuildMirrorListWithOrder(int r) {
  try {
    for (int m : MirrorOrder(r)) MirrorList.push_back(kMirrorUrls[m]);
    HomePageUrl = kHomePageUrl;
    FirstMirrorUrl = MirrorList.at(0);
  } catch (...) {
    // A short or empty list is tolerated: the verification tries what is there.
  }
}

std::uint32_t MirrorSeedFromClock() {
  std::int64_t counter = 0;
  std::uint64_t seed =
      platform::PerformanceCounter(counter) ? static_cast<std::uint64_t>(counter) : platform::TickCount();
  return static_cast<std::uint32_t>(seed ^ (seed >> 32));
}

int DrawMirrorOrder(std::uint32_t seed) {
  // The seed is spread by the generator first: successive counter or tick values differ only
  // in their low bits. Multiply-shift maps 32 random bits onto 0..4 without modulo skew worth
  // counting, and unlike the standard distributions it gives the same draw in every build.
  std::mt19937 random(seed);
  return static_cast<int>((static_cast<std::uint64_t>(random()) * 5) >> 32);
}

void BuildMirrorList(const std::function<int()>& draw) {
  // A draw that fails leaves the list as it got: the verification asks what is there.
  Quietly([&] { BuildMirrorListWithOrder(draw()); });
}

void BuildMirrorList() {
  BuildMirrorList([] { return DrawMirrorOrder(MirrorSeedFromClock()); });
}
