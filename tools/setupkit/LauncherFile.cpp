#include "LauncherFile.h"

#include <algorithm>
#include <cstring>

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

namespace {

// ---- DER, as far as finding a signer's name needs it --------------------------------------

struct TDer {
  unsigned tag = 0;
  std::size_t begin = 0, start = 0, end = 0;  // the whole element, its content, past its end
};

// The element at pos, within [pos, limit); false for anything malformed.
bool DerAt(const std::string& s, std::size_t pos, std::size_t limit, TDer& e) {
  if (pos + 2 > limit) return false;
  e.begin = pos;
  e.tag = static_cast<unsigned char>(s[pos]);
  std::size_t length = static_cast<unsigned char>(s[pos + 1]);
  pos += 2;
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || pos + bytes > limit) return false;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = length << 8 | static_cast<unsigned char>(s[pos++]);
  }
  if (length > limit - pos) return false;
  e.start = pos;
  e.end = pos + length;
  return true;
}

std::vector<TDer> DerChildren(const std::string& s, const TDer& parent) {
  std::vector<TDer> out;
  for (std::size_t pos = parent.start; pos < parent.end;) {
    TDer e;
    if (!DerAt(s, pos, parent.end, e)) return {};
    out.push_back(e);
    pos = e.end;
  }
  return out;
}

std::string DerBytes(const std::string& s, const TDer& e) { return s.substr(e.begin, e.end - e.begin); }

// "CN=..., O=..." from a Name (a sequence of sets of attribute type and value).
std::string NameText(const std::string& s, const TDer& name) {
  static const struct {
    unsigned char id;
    const char* key;
  } kKeys[] = {{3, "CN"}, {10, "O"}, {11, "OU"}, {7, "L"}, {8, "ST"}, {6, "C"}};
  std::string text;
  for (const TDer& set : DerChildren(s, name))
    for (const TDer& pair : DerChildren(s, set)) {
      const std::vector<TDer> parts = DerChildren(s, pair);
      if (parts.size() != 2 || parts[0].tag != 0x06 || parts[0].end - parts[0].start != 3 ||
          s.compare(parts[0].start, 2, "\x55\x04") != 0)
        continue;
      for (const auto& k : kKeys)
        if (static_cast<unsigned char>(s[parts[0].start + 2]) == k.id)
          text += std::string(text.empty() ? "" : ", ") + k.key + "=" +
                  VisibleBytes(s.substr(parts[1].start, parts[1].end - parts[1].start));
    }
  return text;
}

}  // namespace

std::string SignerSubject(const std::string& table) {
  // WIN_CERTIFICATE: length (4), revision (2), type (2, 2 = PKCS #7 SignedData), the DER bytes.
  if (table.size() < 8 || table[6] != 2 || table[7] != 0) return "";
  TDer top, content, signedData;
  if (!DerAt(table, 8, table.size(), top) || top.tag != 0x30) return "";
  const std::vector<TDer> info = DerChildren(table, top);
  if (info.size() < 2 || info[1].tag != 0xA0 || !DerAt(table, info[1].start, info[1].end, signedData) ||
      signedData.tag != 0x30)
    return "";
  const std::vector<TDer> fields = DerChildren(table, signedData);
  const TDer *certificates = nullptr, *signerInfos = nullptr;
  for (const TDer& f : fields) {
    if (f.tag == 0xA0) certificates = &f;
    if (f.tag == 0x31) signerInfos = &f;  // the last set: the signer infos
  }
  if (!certificates || !signerInfos) return "";
  const std::vector<TDer> signers = DerChildren(table, *signerInfos);
  if (signers.empty()) return "";
  const std::vector<TDer> signer = DerChildren(table, signers[0]);
  if (signer.size() < 2) return "";
  const std::vector<TDer> issuerAndSerial = DerChildren(table, signer[1]);
  if (issuerAndSerial.size() != 2) return "";
  for (const TDer& certificate : DerChildren(table, *certificates)) {
    const std::vector<TDer> outer = DerChildren(table, certificate);
    if (outer.empty()) continue;
    std::vector<TDer> tbs = DerChildren(table, outer[0]);
    if (!tbs.empty() && tbs[0].tag == 0xA0) tbs.erase(tbs.begin());  // the version
    // serial, signature algorithm, issuer, validity, subject
    if (tbs.size() < 5) continue;
    if (DerBytes(table, tbs[0]) == DerBytes(table, issuerAndSerial[1]) &&
        DerBytes(table, tbs[2]) == DerBytes(table, issuerAndSerial[0]))
      return NameText(table, tbs[4]);
  }
  return "";
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
    else if (key == "home-page")
      s.homePage = value;
    else if (key == "mirror")
      s.mirrors.push_back(value);
    // Keys added by a later build are skipped.
  }
  if (s.productCode.empty() || s.version.empty() || s.installer.empty() || s.homePage.empty() || s.mirrors.empty())
    throw ELauncherError("the settings lack the product code, version, installer, home page or mirrors");
  return s;
}

// ---- the file -------------------------------------------------------------------------------

bool LooksLikePe(const std::string& path) {
  auto file = OpenRead(path);
  char magic[2] = {};
  return file->Read(magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

TLauncherFile ReadLauncher(const std::string& path) {
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
  out.isSigned = image.IsSigned();
  if (out.isSigned) out.signer = SignerSubject(image.CertificateTable());
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
    launcher = ReadLauncher(path);
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
