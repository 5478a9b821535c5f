// The window thread's part of a long wait: sent messages, paint requests and the user's close.
#include <windows.h>

#include "gui/Backend.h"

namespace gui {
namespace {

bool Take(MSG& m, UINT msg) { return PeekMessageW(&m, nullptr, msg, msg, PM_REMOVE) != FALSE; }

// The ways to close a window, among the input and the posted messages: the title bar's close
// button, Alt+F4, and a close that another program or the system posts (the task bar's "Close
// window" posts SC_CLOSE to the application's window; under Wine the window manager's close
// arrives so too). Each is dispatched as the message loop would, and ends in the form's Close;
// anything else stays queued for the next message loop.
void TakeCloseRequests() {
  MSG m;
  // The close button pressed: DefWindowProc follows the button to its release, taking mouse
  // messages only, and then sends SC_CLOSE.
  if (PeekMessageW(&m, nullptr, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_NOREMOVE) && m.wParam == HTCLOSE &&
      Take(m, WM_NCLBUTTONDOWN))
    DispatchMessageW(&m);
  // Alt+F4, after the Alt key's own presses (DefWindowProc only notes those).
  while (PeekMessageW(&m, nullptr, WM_SYSKEYDOWN, WM_SYSKEYDOWN, PM_NOREMOVE) &&
         (m.wParam == VK_MENU || m.wParam == VK_F4) && Take(m, WM_SYSKEYDOWN)) {
    DispatchMessageW(&m);
    if (m.wParam == VK_F4) break;
  }
  // What DefWindowProc makes of those, or another program posted.
  if (PeekMessageW(&m, nullptr, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) && (m.wParam & 0xFFF0) == SC_CLOSE &&
      Take(m, WM_SYSCOMMAND))
    DispatchMessageW(&m);
  while (Take(m, WM_CLOSE)) DispatchMessageW(&m);
}

}  // namespace

void ProcessWhileWaiting() {
  // PeekMessage handles the messages sent to the thread's windows itself (SendMessage,
  // SendMessageTimeout from other programs, the system's own); with PM_QS_PAINT it hands back
  // paint requests, dispatched here. Input, timers and posted messages stay queued for the
  // next message loop, but for a close. A window that leaves its update region invalid would
  // be handed back again and again: the count bounds one call.
  MSG m;
  for (int i = 0; i < 64 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_PAINT); ++i)
    DispatchMessageW(&m);
  TakeCloseRequests();
}

}  // namespace gui
