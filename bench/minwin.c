/* The yardstick for the launcher's start-up: a minimal Win32 program that opens one window
   (the verification window's size and place) and runs its message loop until closed.
   Built with -DVISUAL_STYLES and the launcher's manifest (bench/minwin.rc), it is the same
   program with visual styles: it starts the common controls, version 6, as the launcher does. */
#include <windows.h>
#ifdef VISUAL_STYLES
#include <commctrl.h>
#define CAPTION "minwin styles window"
#else
#define CAPTION "minwin bench window"
#endif

static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show) {
  WNDCLASSA wc = {0};
  MSG m;
  HWND w;
  (void)prev;
  (void)cmd;
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = "MinWin";
#ifdef VISUAL_STYLES
  {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
  }
#endif
  RegisterClassA(&wc);
  w = CreateWindowExA(0, "MinWin", CAPTION, WS_OVERLAPPEDWINDOW, 49, 176, 676, 155, NULL, NULL, inst, NULL);
  if (!w) return 1;
  ShowWindow(w, show);
  UpdateWindow(w);
  while (GetMessageA(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
