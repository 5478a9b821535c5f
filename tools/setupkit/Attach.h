#pragma once
// Putting a payload archive into a prebuilt launcher: the archive becomes the launcher's
// resource of type "DAT", name "BRENLOW"; every other resource keeps its bytes.
#include <string>
#include <vector>

struct TAttachRequest {
  std::string stub;                // the prebuilt launcher (PE32 with a resource section)
  std::vector<std::string> files;  // packed as `setupkit pack` packs them, or else
  std::string archive;             // one ready payload archive
  std::string output;
};

/// Writes request.output. The payload is streamed: files are packed into a temporary beside
/// the output, and the output is written under a temporary name and renamed at the end. Raises
/// with a one-line message for a stub that cannot take the payload (named in the message), an
/// unsafe entry name or a damaged ready archive, or a file error; then neither the output nor a
/// temporary is created (an output from an earlier run is left as it was).
void AttachPayload(const TAttachRequest& request);
