// The Authenticode reader of `setupkit info`, `publish` and `check-release` over hostile
// certificate tables, appended to one fixed launcher image: whatever the bytes, checking must
// neither crash, hang nor raise, and a table it does not accept must say why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../unit/setupkit/SignedImage.h"
#include "Authenticode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string image = stubtest::BuildStub(stubtest::LauncherResources(true));
  const std::string table(reinterpret_cast<const char*>(data), size);
  TMemoryStream file(signtest::WithTable(image, table));
  try {
    TPeImage pe(file, TPeUse::Inspect);
    const TSignatureCheck check = CheckSignature(file, pe);
    if (check.present && check.valid != check.problem.empty()) std::abort();
  } catch (const EPeImageError&) {
    return 0;  // an empty table, or one the image's own checks refuse
  }
  return 0;
}
