#pragma once
// A launcher (or its stub) read as the vendor's tool needs it: the release settings it carries
// in its resource RCDATA "SETTINGS" (written at build time from the release configuration), its
// payload archive (DAT "BRENLOW"), and its Authenticode signature. Nothing here comes from
// setupkit's own build.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Authenticode.h"
#include "PeImage.h"
#include "archive/ArchiveReader.h"
#include "base/Classes.h"

/// A file that is not a launcher, or a launcher that lacks what a command needs.
SETUPTQ_EXCEPTION(ELauncherError, Exception);

struct TLauncherSettings {
  std::string productCode;  // "QORTQ"
  std::string version;      // "3.6", as the launcher prints its version
  std::string installer;    // the entry the launcher starts: "instTQ.exe"
  /// The arguments a /quiet or /passive run starts the installer with ("/S"), and its
  /// no-restart argument; empty when the release names none (or the launcher predates them).
  std::string quietArguments, noRestartArgument;
  std::string homePage;
  std::vector<std::string> mirrors;  // M1..M10, base URLs
  /// "brenlow/" + product code + version + "ins.htm": the reply's path under a mirror.
  std::string ReplyPath() const;
};

/// Parses the settings text ("key=value" lines). Raises ELauncherError naming what is wrong.
TLauncherSettings ParseLauncherSettings(const std::string& text);

struct TPayloadEntry {
  std::string name;
  std::int32_t size = 0;
  std::int64_t packed = 0;  // bytes in the archive, header included
};

struct TLauncherFile {
  bool hasSettings = false;  // false: a PE, but no launcher or stub of ours
  TLauncherSettings settings;
  bool hasPayload = false;
  std::uint64_t payloadOffset = 0;  // in the file
  std::uint32_t payloadSize = 0;
  TSignatureCheck signature;
};

/// A file opened for reading, shared with other readers. Raises EFOpenError naming it.
std::unique_ptr<TFileStream> OpenRead(const std::string& path);

/// Whether the file begins as a PE image does ("MZ"): a launcher given where an archive may be.
bool LooksLikePe(const std::string& path);

/// Reads a PE file as a launcher. Raises EFOpenError for a missing file, EPeImageError for one
/// that is not a PE32 image with resources, ELauncherError for damaged settings.
/// `checkSignature` false leaves `signature` as if unsigned: reading the payload alone need not
/// digest the whole file.
TLauncherFile ReadLauncher(const std::string& path, bool checkSignature = true);

/// ReadLauncher, refusing (ELauncherError, naming the path and what to do) a file without
/// settings: every command that works for a launcher's release needs them. A file that is no
/// PE32 image raises EPeImageError naming the path.
TLauncherFile ReadLauncherWithSettings(const std::string& path);

/// A window on `size` bytes of another stream from `offset`: the payload inside a launcher.
class TRangeStream : public TStream {
 public:
  TRangeStream(std::unique_ptr<TStream> base, std::int64_t offset, std::int64_t size);
  int Read(void* buffer, int count) override;
  int Write(const void*, int) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return size_; }

 private:
  std::unique_ptr<TStream> base_;
  std::int64_t offset_, size_, pos_ = 0;
};

/// The payload archive of a file that is either an archive or a launcher carrying one, opened
/// for reading from its first byte. Raises ELauncherError for a launcher without a payload.
std::unique_ptr<TStream> OpenPayload(const std::string& path);

/// Every entry of the archive (each inflated, so a damaged one raises), in order.
std::vector<TPayloadEntry> ListPayload(TStream& archive);
