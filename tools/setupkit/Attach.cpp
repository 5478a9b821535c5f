#include "Attach.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "NullStream.h"
#include "PeImage.h"
#include "payload/ArchiveReader.h"
#include "payload/ArchiveWriter.h"

namespace {
std::unique_ptr<TFileStream> OpenRead(const std::string& path) {
  return std::make_unique<TFileStream>(path, platform::FileAccess::Read, platform::FileShare::Read,
                                       platform::FileCreate::OpenExisting);
}

// A ready archive is inflated once, entry by entry, so that a damaged one or one with a name
// the launcher must not write is refused here rather than on the user's machine.
void CheckArchive(TStream& archive, const std::string& path) {
  try {
    UnpackArchive(archive, [](const TArchiveEntry&) { return std::make_unique<TNullStream>(); });
  } catch (const Exception& e) {
    throw EArchiveError(path + ": not a sound payload archive: " + e.Message());
  }
  archive.SetPosition(0);
}

void WriteAttached(const TAttachRequest& request, const std::string& packed, const std::string& temp) {
  auto stub = OpenRead(request.stub);
  std::unique_ptr<TPeImage> image;
  try {
    image = std::make_unique<TPeImage>(*stub);
  } catch (const EPeImageError& e) {
    throw EPeImageError(request.stub + ": " + e.Message());
  }
  if (request.archive.empty()) {
    TFileStream out(packed, platform::FileAccess::ReadWrite, platform::FileShare::None,
                    platform::FileCreate::CreateAlways);
    PackFiles(out, request.files);
  }
  auto payload = OpenRead(request.archive.empty() ? packed : request.archive);
  if (!request.archive.empty()) CheckArchive(*payload, request.archive);
  const std::int64_t size = payload->Size();
  if (size > std::numeric_limits<std::uint32_t>::max()) throw EArchiveError("the payload archive exceeds 4 GiB");
  image->SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), *payload,
                     static_cast<std::uint32_t>(size));
  TFileStream out(temp, platform::FileAccess::ReadWrite, platform::FileShare::None, platform::FileCreate::CreateAlways);
  image->Write(out);
}
}  // namespace

void AttachPayload(const TAttachRequest& request) {
  const std::string packed = request.output + ".payload.part", temp = request.output + ".part";
  try {
    WriteAttached(request, packed, temp);  // every file it opens is closed when it returns
    std::remove(packed.c_str());
    std::remove(request.output.c_str());  // Windows renames onto no existing file
    if (std::rename(temp.c_str(), request.output.c_str()) != 0)
      throw EFCreateError("cannot rename " + temp + " to " + request.output);
  } catch (...) {
    std::remove(packed.c_str());
    std::remove(temp.c_str());
    throw;
  }
}
