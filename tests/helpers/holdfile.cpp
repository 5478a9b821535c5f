// Holds a file open for writing, as a program that is still writing a download does:
//   holdfile PATH
// Opens PATH (which must exist) for reading and writing, sharing both, so that only another
// opener's own refusal of writers makes that open fail. Then prints "ready" on standard output
// and holds the file until standard input ends (the caller closes it) or the process is ended.
// Exits with 2 when the file cannot be opened.
#include <cstdio>
#include <string>

#include "platform/Platform.h"

int main(int argc, char**) {
  const TPath path = platform::ParamStr(1);
  if (argc != 2 || path.Empty()) {
    std::fprintf(stderr, "usage: holdfile PATH\n");
    return 2;
  }
  int error = 0;
  platform::FileHandle h = platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                              platform::FileCreate::OpenExisting, error);
  if (h == platform::kInvalidFile) {
    std::fprintf(stderr, "holdfile: cannot open %s: %s\n", path.Native().c_str(),
                 platform::MessageNative(platform::SystemErrorText(error)).c_str());
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
