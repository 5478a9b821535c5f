// The Authenticode reader of `setupkit info`, `publish` and `check-release` over hostile
// certificate tables, appended to one fixed launcher image, and over hostile unsigned attributes
// (where a time stamp lies) of a signature whose digests and value hold: whatever the bytes,
// checking must neither crash, hang nor raise, a table it does not accept must say why, and a
// signature it accepts must say where its chain ends; a time stamp among them counts only when
// it verifies.
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
    // an empty table, or one the image's own checks refuse
  }
  signtest::TSignOptions stamped;
  stamped.unsignedAttributes = table;
  TMemoryStream signedFile(signtest::Sign(image, stamped));
  TPeImage pe(signedFile, TPeUse::Inspect);
  const TSignatureCheck check = CheckSignature(signedFile, pe);
  if (!check.valid || check.chain.empty() || check.expires != "2049-12-31") std::abort();
  // A time stamp is either counted, with where its authority's chain ends, or named as not verifying.
  if (!check.timeStamp.empty() && (check.timeStampChain.empty() || !check.timeStampProblem.empty())) std::abort();
  return 0;
}
