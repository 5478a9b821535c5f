// Holds a file open for writing, as a running copy of a program holds its own file:
//   holdfile PATH
// Opens PATH (which must exist) for reading and writing, letting others read but not write,
// prints "ready" on standard output once it holds it, and lets go when standard input ends
// (the caller closes it) or the process is ended. Exits with 2 when the file cannot be opened.
#include <cstdio>
#include <string>

#include "platform/Platform.h"

int main() {
  const std::string path = platform::ParamStr(1);
  if (path.empty() || !platform::ParamStr(2).empty()) {
    std::fprintf(stderr, "usage: holdfile PATH\n");
    return 2;
  }
  int error = 0;
  platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileShare::Read,
                                              platform::FileCreate::OpenExisting, error);
  if (h == platform::kInvalidFile) {
    std::fprintf(stderr, "holdfile: cannot open %s: %s\n", path.c_str(), platform::SystemErrorText(error).c_str());
    return 2;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char buffer[256];
  while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
  }
  platform::FileClose(h);
  return 0;
}
