#include "LauncherFile.h"

#include <algorithm>
#include <cstring>
#include <regex>

#include "Authenticode.h"
#include "Command.h"
#include "NullStream.h"
#include "PeImage.h"
#include "ReplyPublish.h"
#include "archive/ArchiveFormat.h"
#include "platform/Platform.h"

std::unique_ptr<TFileStream> OpenRead(const std::string& path) {
  return std::make_unique<TFileStream>(ArgPath(path), platform::FileAccess::Read, platform::FileShare::Read,
                                       platform::FileCreate::OpenExisting);
}

// ---- settings -------------------------------------------------------------------------------

std::string TLauncherSettings::ReplyPath() const { return "brenlow/" + productCode + version + "ins.htm"; }

TLauncherSettings ParseLauncherSettings(const std::string& text) {
  TLauncherSettings s;
  std::size_t start = 0, line = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string row = text.substr(start, end - start);
    start = end + 1;
    ++line;
    const std::size_t eq = row.find('=');
    if (eq == std::string::npos) throw ELauncherError("settings line " + std::to_string(line) + " has no '='");
    const std::string key = row.substr(0, eq), value = row.substr(eq + 1);
    if (key == "product-code")
      s.productCode = value;
    else if (key == "version")
      s.version = value;
    else if (key == "installer")
      s.installer = value;
    else if (key == "quiet")
      s.quietArguments = value;
    else if (key == "no-restart")
      s.noRestartArgument = value;
    else if (key == "home-page")
      s.homePage = value;
    else if (key == "mirror")
      s.mirrors.push_back(value);
    // Keys added by a later build are skipped.
  }
  if (s.productCode.empty() || s.version.empty() || s.installer.empty() || s.homePage.empty() || s.mirrors.empty())
    throw ELauncherError("the settings lack the product code, version, installer, home page or mirrors");
  // Read from a file, they become paths under a web root and on every mirror: held to the
  // configure's own rule before any path is made of them.
  if (!std::regex_match(s.productCode, std::regex(SETUPTQ_PRODUCT_CODE_RULE)))
    throw ELauncherError("the settings' product code \"" + VisibleBytes(s.productCode) +
                         "\" is not one a release can have (letters and digits only)");
  if (!std::regex_match(s.version, std::regex(SETUPTQ_VERSION_RULE)))
    throw ELauncherError("the settings' version \"" + VisibleBytes(s.version) +
                         "\" is not one a release can have (digits, a point and one digit)");
  if (!IsSafeEntryName(s.installer) || s.installer.find_first_of("/\\") != std::string::npos)
    throw ELauncherError("the settings' installer name \"" + VisibleBytes(s.installer) + "\" is not a plain file name");
  return s;
}

// ---- the file -------------------------------------------------------------------------------

bool LooksLikePe(const std::string& path) {
  auto file = OpenRead(path);
  char magic[2] = {};
  return file->Read(magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

TLauncherFile ReadLauncher(const std::string& path, bool checkSignature) {
  auto file = OpenRead(path);
  TPeImage image(*file, TPeUse::Inspect);
  TLauncherFile out;
  if (const TPeResource* r = image.FindResource(TResourceId::Number(10), TResourceId::Named("SETTINGS"))) {
    out.hasSettings = true;
    out.settings = ParseLauncherSettings(image.ResourceBytes(*r));
  }
  if (const TPeResource* r = image.FindResource(TResourceId::Named("DAT"), TResourceId::Named("BRENLOW"))) {
    out.hasPayload = true;
    out.payloadOffset = r->offset;
    out.payloadSize = r->size;
  }
  if (checkSignature) out.signature = CheckSignature(*file, image);
  return out;
}

TLauncherFile ReadLauncherWithSettings(const std::string& path) {
  TLauncherFile launcher;
  try {
    launcher = ReadLauncher(path);
  } catch (const EPeImageError& e) {
    RaiseNative<EPeImageError>(path + ": not a launcher: " + ErrorText(e));
  }
  if (!launcher.hasSettings)
    RaiseNative<ELauncherError>(path +
                                ": not a setupTQ launcher: it carries no release settings (resource "
                                "SETTINGS); give a launcher made by `setupkit attach` from a stub of this build");
  return launcher;
}

TRangeStream::TRangeStream(std::unique_ptr<TStream> base, std::int64_t offset, std::int64_t size)
    : base_(std::move(base)), offset_(offset), size_(size) {}

int TRangeStream::Read(void* buffer, int count) {
  const std::int64_t n = std::min<std::int64_t>(count, size_ - pos_);
  if (n <= 0) return 0;
  base_->SetPosition(offset_ + pos_);
  const int got = base_->Read(buffer, static_cast<int>(n));
  if (got > 0) pos_ += got;
  return got;
}

std::int64_t TRangeStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t from = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : size_;
  pos_ = std::clamp<std::int64_t>(from + offset, 0, size_);
  return pos_;
}

std::unique_ptr<TStream> OpenPayload(const std::string& path) {
  if (!LooksLikePe(path)) return OpenRead(path);
  TLauncherFile launcher;
  try {
    launcher = ReadLauncher(path, false);
  } catch (const EPeImageError& e) {
    RaiseNative<ELauncherError>(path + ": neither a payload archive nor a launcher (" + ErrorText(e) + ")");
  }
  if (!launcher.hasPayload)
    RaiseNative<ELauncherError>(path + ": a launcher without a payload (a stub); attach one with `setupkit attach`");
  return std::make_unique<TRangeStream>(OpenRead(path), static_cast<std::int64_t>(launcher.payloadOffset),
                                        launcher.payloadSize);
}

std::vector<TPayloadEntry> ListPayload(TStream& archive) {
  std::vector<TPayloadEntry> out;
  TArchiveReader reader(archive);
  for (std::int32_t i = 0; i < reader.Count(); ++i) {
    const std::int64_t start = archive.Position();
    TArchiveEntry entry = reader.ReadHeader();
    TNullStream sink;
    try {
      reader.CopyEntry(entry, sink);
    } catch (const Exception& e) {
      RaiseNative<EArchiveError>("entry \"" + ShownName(entry.name) + "\": " + ErrorText(e));
    }
    out.push_back({entry.name, entry.size, archive.Position() - start});
  }
  return out;
}
