// Loads a DLL by bare name, as a program loads a system DLL, before or after restricting the
// DLL search:  dllsearch (plain|hardened) NAME.dll
// Prints "loaded PATH" or "refused" and exits with 0 or 3.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/Platform.h"

int main() {
  const std::string mode = platform::ParamStr(1).Native(), name = platform::ParamStr(2).Native();
  if (mode == "hardened") platform::HardenDllSearch();
  HMODULE m = LoadLibraryA(name.c_str());
  if (!m) {
    std::printf("refused\n");
    return 3;
  }
  char path[MAX_PATH * 2];
  GetModuleFileNameA(m, path, sizeof path);
  std::printf("loaded %s\n", path);
  FreeLibrary(m);
  return 0;
}
