// Closes a window as another program or the system does: finds the top-level window with the
// given caption, then
//   post     posts it WM_CLOSE (another program's close)
//   send     sends it WM_CLOSE
//   taskbar  posts WM_SYSCOMMAND SC_CLOSE to its owner, the program's task-bar window, as the
//            task bar's "Close window" does
//   closewin CAPTION post|send|taskbar
// Prints "closed" once done. Exit 0, or 2 when no such window appeared within a minute.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) {
    std::fprintf(stderr, "usage: closewin CAPTION post|send|taskbar\n");
    return 2;
  }
  HWND window = nullptr;
  for (int i = 0; i < 600 && !window; ++i) {
    window = FindWindowW(nullptr, argv[1]);
    if (!window) Sleep(100);
  }
  if (!window) {
    std::printf("no window\n");
    return 2;
  }
  const wchar_t* how = argv[2];
  if (std::wcscmp(how, L"send") == 0) {
    SendMessageW(window, WM_CLOSE, 0, 0);
  } else if (std::wcscmp(how, L"taskbar") == 0) {
    HWND owner = GetWindow(window, GW_OWNER);
    PostMessageW(owner ? owner : window, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  std::printf("closed\n");
  std::fflush(stdout);
  LocalFree(argv);
  return 0;
}
