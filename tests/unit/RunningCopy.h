#pragma once
// Copies of the sleeper (tests/helpers/sleeper.cpp) running under a name of the test's choosing,
// for the tests of ending running installers.
#include <filesystem>
#include <string>

#include "base/Classes.h"
#include "platform/Platform.h"

namespace runningcopy {

/// Copies the sleeper to `exe` through the platform's file functions, so that the name is the
/// same path for the file system, the process snapshot and the termination.
inline void CopySleeper(const TPath& exe) {
  {
    TFileStream in(TPath::FromNative(SETUPTQ_SLEEPER), platform::FileAccess::Read, platform::FileShare::Read,
                   platform::FileCreate::OpenExisting);
    TFileStream out(exe, platform::FileAccess::ReadWrite, platform::FileShare::None,
                    platform::FileCreate::CreateAlways);
    out.CopyFrom(in, 0);
  }
  std::error_code ec;  // Linux needs the execute right; Windows has none to give
  std::filesystem::permissions(exe.Native(), std::filesystem::perms::owner_exec, std::filesystem::perm_options::add,
                               ec);
}

/// Whether the snapshot lists the process under an image name ending in `fileName`.
inline bool Listed(std::uint32_t pid, const std::string& fileName) {
  platform::ProcessSnapshot snap;
  platform::ProcessEntry e;
  for (bool more = snap.First(e); more; more = snap.Next(e))
    if (e.processId == pid) {
      const std::string& exe = e.exeFile.Native();
      return exe.size() >= fileName.size() && exe.compare(exe.size() - fileName.size(), fileName.size(), fileName) == 0;
    }
  return false;
}

/// Starts `exe` (a copy of the sleeper) and waits, a bounded while, until the snapshot shows it
/// under its file name (on Linux the name changes only when the child has called exec).
inline std::uint32_t Start(const TPath& exe, const std::string& fileName, const TPath& args = TPath()) {
  const std::uint32_t pid = platform::StartProcess(exe, args);
  for (int i = 0; pid != 0 && i < 1000 && !Listed(pid, fileName); ++i) platform::SleepMs(10);
  return pid;
}

}  // namespace runningcopy
