#include "launcher/allparam.h"

#include <cstdint>
#include <random>

#include "launcher/MirrorConfig.h"
#include "platform/Platform.h"

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
  ProductVersion = 3.6f;  // bit pattern 0x40666666
  ProductDisplayName = "Parvalo";
  ProductCode = "QORTQ";
}

const std::vector<int>& MirrorOrder(int r) {
  // M1..M10 are 0..9. The main-domain mirrors M1..M5 are arranged at the front; M6..M9
  // follow; M10 comes last where present (order 2 has nine entries).
  static const std::vector<int> orders[5] = {
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
      {4, 0, 1, 2, 3, 5, 6, 7, 8},
      {3, 4, 0, 1, 2, 5, 6, 7, 8, 9},
      {2, 3, 4, 0, 1, 5, 6, 7, 8, 9},
      {3, 2, 4, 0, 1, 5, 6, 7, 8, 9},
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

void BuildMirrorList() {
  try {
    std::int64_t counter = 0;
    std::uint64_t seed = platform::PerformanceCounter(counter) ? static_cast<std::uint64_t>(counter)
                                                               : platform::TickCount();
    std::mt19937 random(static_cast<std::uint32_t>(seed ^ (seed >> 32)));
    std::uniform_int_distribution<int> pick(0, 4);
    BuildMirrorListWithOrder(pick(random));
  } catch (...) {
  }
}
