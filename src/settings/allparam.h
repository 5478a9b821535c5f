#pragma once
// The launcher's fixed settings and the verification mirror list.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Settings, assigned once at start-up by AssignSettings and only read afterwards.
extern std::string InstallerExeName;    // "instTQ.exe"
extern std::string ArchiveFileName;     // "install.dat"
extern float ProductVersion;            // the binary32 value nearest to 3.6
extern std::string ProductDisplayName;  // "Parvalo"
extern std::string ProductCode;         // "QORTQ"

/// Assigns the five settings, in the order above.
void AssignSettings();

/// The path of this release's reply under a mirror's base URL: "brenlow/" + ProductCode +
/// ProductVersion as "%1.1f" with the given decimal separator + "ins.htm".
std::string BuildVerifyRequestPath(char decimalSeparator);

// Verification endpoints.
extern std::vector<std::string> MirrorList;
extern std::string HomePageUrl;
extern std::string FirstMirrorUrl;

/// Fills MirrorList with one of the five mirror orders, drawn at random from a clock seed;
/// sets HomePageUrl and FirstMirrorUrl. Never raises.
void BuildMirrorList();
/// The same with the random source given: `draw` yields the order's index r (0..4). An error
/// raised by the draw is swallowed like any other and leaves the list untouched.
void BuildMirrorList(const std::function<int()>& draw);
/// The seed the program draws from: the performance counter, else the tick count.
std::uint32_t MirrorSeedFromClock();
/// The order index (0..4) drawn from a seed, uniformly over seeds.
int DrawMirrorOrder(std::uint32_t seed);
/// The same, with the order's index r (0..4) given: the seam the tests use.
void BuildMirrorListWithOrder(int r);
/// The five orders as indexes into the configured mirrors M1..M10 (0-based).
const std::vector<int>& MirrorOrder(int r);
