#pragma once
// Putting a payload archive into a launcher stub: the archive becomes the launcher's resource
// of type "DAT", name "BRENLOW"; every other resource keeps its bytes.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LauncherFile.h"

/// The largest payload archive a launcher carries. The payload is part of the launcher's image,
/// which Windows maps whole into the 32-bit process at its start, beside the system's DLLs, in
/// the 2 GiB a 32-bit Windows gives a program (the launcher is large-address aware, which gives
/// it 4 GiB on a 64-bit Windows); saving and unpacking it add no copy of their own.
constexpr std::int64_t kMaxPayloadBytes = std::int64_t{1280} << 20;

struct TAttachRequest {
  std::string stub;                // the stub: a launcher without payload, carrying its settings
  std::string installer;           // stored as the entry the launcher starts (instTQ.exe), or else
  std::string archive;             // one ready payload archive, which must hold that entry
  std::vector<std::string> files;  // further entries, named by their file names
  std::string output;
  bool replace = false;  // the stub may already carry a payload, which is replaced
};

struct TAttachSummary {
  std::vector<TPayloadEntry> entries;
  std::int64_t archiveSize = 0;
  std::int64_t outputSize = 0;
};

/// Called with a short text ("packing instTQ.exe (1/2)", "writing setupTQ.exe 40%") during
/// long work.
using TAttachProgress = std::function<void(const std::string&)>;

/// Packs the files into out as entries of the names given (name, path), in order, telling the
/// progress before each; the entries as written. Raises EArchiveError when two names are the
/// same to Windows (which compares them without regard to case).
std::vector<TPayloadEntry> PackNamedFiles(TStream& out, const std::vector<std::pair<std::string, std::string>>& entries,
                                          const TAttachProgress& progress);

/// Writes request.output. Refuses (ELauncherError, saying why and what to do) a stub that is no
/// launcher stub of ours, a stub that already carries a payload unless request.replace, an
/// installer that Windows would not start as a program (not a PE image, a DLL, an image not
/// marked executable, a subsystem other than GUI or console), a ready archive without the
/// installer entry, a further file or entry of a name the launcher keeps for its own files
/// (install.dat, setupTQ.exe, the output's name, and the installer's name), and an output
/// that is one of the inputs or a folder; raises EPeImageError for a stub that cannot be rebuilt
/// and EArchiveError for refused entry names. The payload is streamed through temporaries
/// beside the output, named for this run; the output is replaced with one rename at the end. On
/// failure no temporary is left and an output from an earlier run is left as it was; only
/// files this run created are removed, and messages name the user's paths, never a temporary.
TAttachSummary AttachPayload(const TAttachRequest& request, const TAttachProgress& progress = nullptr);
