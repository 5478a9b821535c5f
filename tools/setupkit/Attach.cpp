#include "Attach.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "PeImage.h"
#include "Temporary.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveWriter.h"

namespace {

bool SameNameNoCase(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

// Passes reads and writes on to another stream, counts them and tells the progress, as
// "WHAT NN%", every few megabytes.
class TProgressStream : public TStream {
 public:
  TProgressStream(TStream& base, std::int64_t expected, const std::string& what, const TAttachProgress& progress)
      : base_(base), expected_(expected), what_(what), progress_(progress) {}
  int Read(void* buffer, int count) override { return Count(base_.Read(buffer, count)); }
  int Write(const void* buffer, int count) override { return Count(base_.Write(buffer, count)); }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return base_.Seek(offset, origin); }

 private:
  int Count(int n) {
    done_ += std::max(n, 0);
    if (progress_ && done_ - shown_ >= 4 * 1024 * 1024) {
      shown_ = done_;
      progress_(what_ + " " + std::to_string(expected_ > 0 ? std::min<std::int64_t>(done_ * 100 / expected_, 100) : 0) +
                "%");
    }
    return n;
  }
  TStream& base_;
  std::int64_t expected_, done_ = 0, shown_ = 0;
  std::string what_;
  const TAttachProgress& progress_;
};

bool IsPeFile(const std::string& path) {
  auto file = OpenRead(path);
  std::string head(0x400, '\0');
  head.resize(static_cast<std::size_t>(std::max(file->Read(&head[0], 0x400), 0)));
  if (head.size() < 0x40 || head.compare(0, 2, "MZ") != 0) return false;
  std::uint32_t pe = 0;
  for (int i = 3; i >= 0; --i) pe = pe << 8 | static_cast<unsigned char>(head[0x3C + i]);
  std::string signature(4, '\0');
  if (pe > static_cast<std::uint64_t>(file->Size()) - 4) return false;
  file->SetPosition(pe);
  return file->Read(&signature[0], 4) == 4 && signature == std::string("PE\0\0", 4);
}

void CheckRequest(const TAttachRequest& r) {
  std::vector<std::string> inputs{r.stub};
  if (!r.installer.empty()) inputs.push_back(r.installer);
  if (!r.archive.empty()) inputs.push_back(r.archive);
  inputs.insert(inputs.end(), r.files.begin(), r.files.end());
  try {
    CheckOutputPath(r.output, inputs);
  } catch (const EArgumentException& e) {
    throw ELauncherError(e.Message());
  }
  if (!r.installer.empty() && !IsPeFile(r.installer))
    throw ELauncherError(r.installer +
                         " is not a Windows program (no PE header), so the launcher could not start it; "
                         "give the installer second: setupkit attach STUB INSTALLER [FILE...] -o OUT");
}

}  // namespace

void PackNamedFiles(TStream& out, const std::vector<std::pair<std::string, std::string>>& entries,
                    const TAttachProgress& progress) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (SameNameNoCase(entries[i].first, entries[j].first))
        throw EArchiveError("two entries would be named \"" + entries[i].first + "\" (" + entries[j].second + " and " +
                            entries[i].second + ")");
  TArchiveWriter writer(out, static_cast<std::int32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string what =
        "packing " + entries[i].first + " (" + std::to_string(i + 1) + "/" + std::to_string(entries.size()) + ")";
    if (progress) progress(what);
    auto in = OpenRead(entries[i].second);
    const std::int64_t size = in->Size();
    TProgressStream counted(*in, size, what, progress);
    writer.AddEntry(entries[i].first, counted, size);
  }
}

TAttachSummary AttachPayload(const TAttachRequest& request, const TAttachProgress& progress) {
  CheckRequest(request);
  const char* order = "give the stub first: setupkit attach STUB INSTALLER [FILE...] -o OUT";
  TLauncherFile probe;
  try {
    probe = ReadLauncher(request.stub);
  } catch (const EPeImageError& e) {
    if (e.Message().rfind("not a PE", 0) == 0) throw EPeImageError(request.stub + ": " + e.Message());
    throw ELauncherError(request.stub + " is not a setupTQ stub (" + e.Message() + "); " + order);
  }
  if (!probe.hasSettings)
    throw ELauncherError(request.stub + " is not a setupTQ stub (it carries no release settings); " + order);
  if (!request.replace && probe.hasPayload)
    throw ELauncherError(request.stub +
                         " already carries a payload (a launcher, not a stub): give the stub "
                         "(bin/stub/setupTQ.exe of the win32 build), or --replace to replace its payload");
  const TLauncherSettings& settings = probe.settings;
  auto stub = OpenRead(request.stub);
  std::unique_ptr<TPeImage> image;
  try {
    image = std::make_unique<TPeImage>(*stub);
  } catch (const EPeImageError& e) {
    throw EPeImageError(request.stub + ": " + e.Message());
  }

  TAttachSummary summary;
  std::unique_ptr<TTemporary> packed;
  std::unique_ptr<TStream> archive;
  if (request.archive.empty()) {
    packed = std::make_unique<TTemporary>(request.output);
    try {
      // The installer under the name the launcher starts, then the other files under theirs.
      std::vector<std::pair<std::string, std::string>> entries{{settings.installer, request.installer}};
      for (const auto& f : request.files) entries.push_back({EntryNameOf(f), f});
      PackNamedFiles(packed->File(), entries, progress);
    } catch (const EStreamError& e) {
      throw EStreamError("cannot write " + request.output + ": " + packed->InTargetsWords(e.Message()));
    }
    packed->Close();
    archive = OpenRead(packed->Path());
  } else {
    archive = OpenRead(request.archive);
  }
  summary.archiveSize = archive->Size();
  if (summary.archiveSize > kMaxPayloadBytes)
    throw EArchiveError("the payload archive is " + std::to_string(summary.archiveSize) +
                        " bytes; a launcher carries " + std::to_string(kMaxPayloadBytes) + " bytes (1.25 GiB) at most");
  try {
    summary.entries = ListPayload(*archive);  // every entry inflated: a damaged archive is refused here
  } catch (const Exception& e) {
    throw EArchiveError((request.archive.empty() ? request.output : request.archive) +
                        ": not a sound payload archive: " + e.Message());
  }
  bool hasInstaller = false;
  for (const auto& e : summary.entries) hasInstaller = hasInstaller || SameNameNoCase(e.name, settings.installer);
  if (!hasInstaller)
    throw ELauncherError(request.archive + " holds no " + settings.installer +
                         ", the one file the launcher starts: pack the installer under that name");
  archive->SetPosition(0);
  image->SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), *archive,
                     static_cast<std::uint32_t>(summary.archiveSize));

  TTemporary out(request.output);
  try {
    TProgressStream counted(out.File(), stub->Size() + summary.archiveSize, "writing " + request.output, progress);
    image->Write(counted);
    summary.outputSize = out.File().Size();
    out.Close();
  } catch (const EStreamError& e) {
    throw EStreamError("cannot write " + request.output + ": " + out.InTargetsWords(e.Message()));
  }
  archive.reset();
  out.ReplaceTarget();
  return summary;
}
