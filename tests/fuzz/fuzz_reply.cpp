// Mirror replies are untrusted bytes: the decoder and the verdict must take any of them,
// keep lengths straight and accept only the launcher's own fingerprint.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/SysUtils.h"
#include "codes/ShareCodeCheckunit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  static const std::string kPrint = "84b3c522024a8c78acb13b1caaa2b8ef";

  TShareCode launcher;
  launcher.SetCodeKey();
  launcher.ExeMD5 = kPrint;
  const bool accepted = launcher.ReplyMatches(body);
  if (launcher.GetServerCode().size() > size) std::abort();
  if (accepted && Trim(launcher.GetServerCode()) != kPrint) std::abort();

  // Straight decoding keeps the un-escaped length, and a record without a fingerprint
  // accepts nothing.
  TShareCode blank;
  blank.SetCodeKey();
  if (blank.DecodeReply(body).size() > size) std::abort();
  if (blank.CodeMatches()) std::abort();

  // The publisher's scrambler is the exact inverse for any bytes.
  if (UnscrambleText(ScrambleText(body, launcher.CodeKey), launcher.CodeKey) != body) std::abort();
  return 0;
}
