// The loop of the small programs that show the launcher's windows to an end-to-end driver: they
// keep the toolkit's queue moving while the driver looks, and end when the driver writes its
// DONE file, or give up after two minutes.
#pragma once

#include <windows.h>

#include <string>

#include "gui/Forms.h"

namespace show {

constexpr DWORD kGiveUpMs = 120000;

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs the application's queue for MS milliseconds.
inline void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    Application->ProcessMessages();
    Sleep(10);
  }
}

// Keeps the queue moving until the file DONE appears: false when the driver never wrote it.
inline bool WaitForDone(const std::string& done) {
  const DWORD start = GetTickCount();
  while (!FileExists(done)) {
    if (GetTickCount() - start > kGiveUpMs) return false;
    Pump(50);
  }
  return true;
}

}  // namespace show
