#pragma once
// Scratch files for the verification tests, in a folder beside the test binary (the same
// place under Wine and on Linux).
#include <cstdio>
#include <string>

#include "TestFiles.h"
#include "base/Classes.h"
#include "platform/Platform.h"

namespace verifytest {

inline TPath ScratchDir() {
  const std::string exe = platform::ModuleFileName().Native();
  const TPath dir = TPath::FromNative(exe.substr(0, exe.find_last_of("/\\")) + "/verify-scratch");
  ForceDirectories(dir);
  return dir;
}

inline TPath ScratchPath(const std::string& name) { return ScratchDir() + TPath::FromNative("/" + name); }

using testfiles::ReadFile;
using testfiles::WriteFile;

inline bool FileExists(const TPath& path) {
  int error = 0;
  platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                              platform::FileCreate::OpenExisting, error);
  platform::FileClose(h);
  return h != platform::kInvalidFile;
}

}  // namespace verifytest
