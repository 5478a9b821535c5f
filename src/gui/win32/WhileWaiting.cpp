// The window thread's part of a long wait: sent messages and paint requests only.
#include <windows.h>

#include "gui/Backend.h"

namespace gui {

void ProcessWhileWaiting() {
  // PeekMessage handles the messages sent to the thread's windows itself (SendMessage,
  // SendMessageTimeout from other programs, the system's own); with PM_QS_PAINT it hands back
  // paint requests, dispatched here. Input, timers and posted messages stay queued for the
  // next message loop. A window that leaves its update region invalid would be handed back
  // again and again: the count bounds one call.
  MSG m;
  for (int i = 0; i < 64 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_PAINT); ++i)
    DispatchMessageW(&m);
}

}  // namespace gui
