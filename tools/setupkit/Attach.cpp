#include "Attach.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "Command.h"
#include "PeImage.h"
#include "ReplyPublish.h"
#include "Temporary.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveWriter.h"

namespace {

// The names the launcher gives its own files: itself as it is downloaded, and the payload it
// saves beside itself (the launcher's setting ArchiveFileName).
constexpr const char* kLauncherName = "setupTQ.exe";
constexpr const char* kSavedArchiveName = "install.dat";

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

// Little-endian fields of a header read into memory; 0 past its end.
std::uint32_t Field(const std::string& head, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | (at + i < head.size() ? static_cast<unsigned char>(head[at + i]) : 0u);
  return v;
}

// Why Windows would not start the file as a program, in the vendor's words; empty when it would.
std::string InstallerRefusal(const std::string& path) {
  constexpr std::uint32_t kExecutableImage = 0x0002, kDll = 0x2000;  // COFF characteristics
  constexpr std::uint32_t kGui = 2, kConsole = 3;                    // the subsystems Windows starts
  const char* give = "give the installer second: setupkit attach STUB INSTALLER [FILE...] -o OUT";
  auto file = OpenRead(path);
  std::string head(0x400, '\0');
  head.resize(static_cast<std::size_t>(std::max(file->Read(&head[0], 0x400), 0)));
  const std::int64_t size = file->Size();
  const std::uint32_t pe = Field(head, 0x3C, 4);
  std::string coff;
  if (head.size() >= 0x40 && head.compare(0, 2, "MZ") == 0 && pe + std::int64_t{24} <= size) {
    coff.resize(24 + 72);
    file->SetPosition(pe);
    coff.resize(static_cast<std::size_t>(std::max(file->Read(&coff[0], static_cast<int>(coff.size())), 0)));
  }
  if (coff.size() < 24 || coff.compare(0, 4, std::string("PE\0\0", 4)) != 0)
    return path + " is not a Windows program (no PE header), so the launcher could not start it; " + give;
  const std::uint32_t characteristics = Field(coff, 22, 2), optionalSize = Field(coff, 20, 2);
  const std::uint32_t magic = Field(coff, 24, 2), subsystem = Field(coff, 24 + 68, 2);
  if (characteristics & kDll)
    return path +
           " is a DLL, a library that Windows does not start as a program, so the launcher would start nothing; " +
           give;
  if (!(characteristics & kExecutableImage) || optionalSize < 70 || (magic != 0x10B && magic != 0x20B))
    return path +
           " is not an executable image (its header does not mark it runnable: an object file or an unfinished "
           "link), so the launcher could not start it; " +
           give;
  if (subsystem != kGui && subsystem != kConsole)
    return path + " is an image for Windows subsystem " + std::to_string(subsystem) +
           " (a driver, a boot or a native program), which Windows does not start as a program; " + give;
  return "";
}

// The launcher saves its payload as install.dat beside itself and unpacks every entry there:
// an entry of the launcher's own names could never be written, and every user would get an
// error and nothing installed.
std::string ReservedNameRefusal(const std::string& entry, const TLauncherSettings& settings,
                                const std::string& output) {
  const std::string name = EntryNameKey(entry), shown = "\"" + ShownName(entry) + "\"";
  // The output's own name as it is, whatever characters it has: compared, never stored.
  const std::size_t cut = LastDelimiter(PathDelimiters(), output);
  const std::string outputName =
      platform::FileNameKey(ArgPath(cut == std::string::npos ? output : output.substr(cut + 1)));
  if (name == EntryNameKey(kSavedArchiveName))
    return shown +
           " is the name the launcher saves its payload under beside itself, so that file could never "
           "be unpacked: rename it";
  if (name == EntryNameKey(kLauncherName) || name == outputName)
    return shown +
           " is the launcher's own name: unpacking it beside the launcher would meet the running launcher, "
           "and every user would get an error: rename it";
  if (name == EntryNameKey(settings.installer))
    return shown +
           " is the name the installer itself is stored under (the installer is given second, whatever "
           "its name): rename it";
  return "";
}

void CheckRequest(const TAttachRequest& r) {
  std::vector<std::string> inputs{r.stub};
  if (!r.installer.empty()) inputs.push_back(r.installer);
  if (!r.archive.empty()) inputs.push_back(r.archive);
  inputs.insert(inputs.end(), r.files.begin(), r.files.end());
  try {
    CheckOutputPath(r.output, inputs);
  } catch (const EArgumentException& e) {
    throw ELauncherError(e.Message(), e.Display());
  }
  if (!r.installer.empty()) {
    const std::string refusal = InstallerRefusal(r.installer);
    if (!refusal.empty()) throw ELauncherError(refusal);
  }
}

}  // namespace

std::vector<TPayloadEntry> PackNamedFiles(TStream& out, const std::vector<std::pair<std::string, std::string>>& entries,
                                          const TAttachProgress& progress) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (SameEntryName(entries[i].first, entries[j].first))
        RaiseNative<ENameRefused>("two entries would be named \"" + ShownName(entries[i].first) + "\" (" +
                                  entries[j].second + " and " + entries[i].second + ")");
  TArchiveWriter writer(out, static_cast<std::int32_t>(entries.size()));
  std::vector<TPayloadEntry> packed;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string what = "packing " + ShownName(entries[i].first) + " (" + std::to_string(i + 1) + "/" +
                             std::to_string(entries.size()) + ")";
    if (progress) progress(what);
    auto in = OpenRead(entries[i].second);
    const std::int64_t size = in->Size();
    TProgressStream counted(*in, size, what, progress);
    const std::int64_t start = out.Position();
    writer.AddEntry(entries[i].first, counted, size);
    packed.push_back({entries[i].first, static_cast<std::int32_t>(size), out.Position() - start});
  }
  return packed;
}

namespace {
void RefuseOversizedPayload(std::int64_t size) {
  if (size > kMaxPayloadBytes)
    throw EArchiveError("the payload archive is " + std::to_string(size) + " bytes; a launcher carries " +
                        std::to_string(kMaxPayloadBytes) + " bytes (1.25 GiB) at most");
}
}  // namespace

TAttachSummary AttachPayload(const TAttachRequest& request, const TAttachProgress& progress) {
  CheckRequest(request);
  const char* order = "give the stub first: setupkit attach STUB INSTALLER [FILE...] -o OUT";
  TLauncherFile probe;
  try {
    probe = ReadLauncher(request.stub);
  } catch (const EPeImageError& e) {
    if (e.Message().rfind("not a PE", 0) == 0) RaiseNative<EPeImageError>(request.stub + ": " + ErrorText(e));
    RaiseNative<ELauncherError>(request.stub + " is not a setupTQ stub (" + ErrorText(e) + "); " + order);
  }
  if (!probe.hasSettings)
    RaiseNative<ELauncherError>(request.stub + " is not a setupTQ stub (it carries no release settings); " + order);
  if (!request.replace && probe.hasPayload)
    RaiseNative<ELauncherError>(request.stub +
                                " already carries a payload (a launcher, not a stub): give the stub "
                                "(bin/stub/setupTQ.exe of the win32 build), or --replace to replace its payload");
  const TLauncherSettings& settings = probe.settings;
  auto stub = OpenRead(request.stub);
  std::unique_ptr<TPeImage> image;
  try {
    image = std::make_unique<TPeImage>(*stub);
  } catch (const EPeImageError& e) {
    RaiseNative<EPeImageError>(request.stub + ": " + ErrorText(e));
  }

  TAttachSummary summary;
  std::unique_ptr<TTemporary> packed;
  std::unique_ptr<TStream> opened;
  TStream* archive = nullptr;
  if (request.archive.empty()) {
    // The installer under the name the launcher starts, then the other files under theirs.
    std::vector<std::pair<std::string, std::string>> entries{{settings.installer, request.installer}};
    for (const auto& f : request.files) {
      const std::string name = EntryNameOf(ArgPath(f));
      const std::string refusal = ReservedNameRefusal(name, settings, request.output);
      if (!refusal.empty()) RaiseNative<ELauncherError>(f + ": " + refusal);
      entries.push_back({name, f});
    }
    packed = std::make_unique<TTemporary>(request.output);
    try {
      // Packed here, so known whole: the summary is taken as it is written, not inflated again.
      summary.entries = PackNamedFiles(packed->File(), entries, progress);
    } catch (const EWriteError& e) {  // an input that cannot be read says so itself
      RaiseNative<EWriteError>("cannot write " + request.output + ": " + packed->InTargetsWords(ErrorText(e)));
    }
    archive = &packed->File();
  } else {
    opened = OpenRead(request.archive);
    RefuseOversizedPayload(opened->Size());  // before a byte of it is read
    archive = opened.get();
    try {
      summary.entries = ListPayload(*archive);  // every entry inflated: a damaged archive is refused here
    } catch (const Exception& e) {
      RaiseNative<EArchiveError>(request.archive + ": not a sound payload archive: " + ErrorText(e));
    }
    bool hasInstaller = false;
    for (const auto& e : summary.entries) {
      hasInstaller = hasInstaller || SameEntryName(e.name, settings.installer);
      const std::string refusal = SameEntryName(e.name, settings.installer)
                                      ? std::string()
                                      : ReservedNameRefusal(e.name, settings, request.output);
      if (!refusal.empty()) RaiseNative<ELauncherError>(request.archive + ": the entry " + refusal);
    }
    if (!hasInstaller)
      RaiseNative<ELauncherError>(request.archive + " holds no " + settings.installer +
                                  ", the one file the launcher starts: pack the installer under that name");
  }
  summary.archiveSize = archive->Size();
  RefuseOversizedPayload(summary.archiveSize);
  archive->SetPosition(0);
  image->SetResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"), *archive,
                     static_cast<std::uint32_t>(summary.archiveSize));

  TTemporary out(request.output);
  try {
    TProgressStream counted(out.File(), stub->Size() + summary.archiveSize, "writing " + request.output, progress);
    image->Write(counted);
    summary.outputSize = out.File().Size();
    out.Close();
  } catch (const EWriteError& e) {  // an input that cannot be read says so itself
    RaiseNative<EWriteError>("cannot write " + request.output + ": " + out.InTargetsWords(ErrorText(e)));
  }
  out.ReplaceTarget();
  return summary;
}
