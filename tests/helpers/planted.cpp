// A DLL planted beside a program, as a hostile download folder would hold one. When loaded it
// leaves PLANTED-LOADED.txt beside itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(self, path, sizeof path);
  while (n > 0 && path[n - 1] != '\\') --n;
  lstrcpyA(path + n, "PLANTED-LOADED.txt");
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return TRUE;
}
