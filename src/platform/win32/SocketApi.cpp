// The socket library on Windows: "WS2_32.DLL" from the system folder, bound at run time.
#include "platform/SocketApi.h"

#include <windows.h>

#include "platform/Platform.h"

namespace platform {

SocketLibraryHandle SocketLibraryLoad(const char* name, int& error) {
  HMODULE module = LoadLibraryA(name);
  error = module ? 0 : static_cast<int>(GetLastError());
  return reinterpret_cast<SocketLibraryHandle>(module);
}

void* SocketLibrarySymbol(SocketLibraryHandle module, const char* name, int& error) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
  error = address ? 0 : static_cast<int>(GetLastError());
  return reinterpret_cast<void*>(address);
}

void SocketLibraryFree(SocketLibraryHandle module) { FreeLibrary(static_cast<HMODULE>(module)); }

bool ObserveSocketLibraryStartup(void (*)(const char*)) { return false; }

bool ReplaceHostLookup(HostLookup) { return false; }

std::string SocketSystemErrorText(int code) { return MessageText(SystemErrorText(code)).Bytes(); }

}  // namespace platform
