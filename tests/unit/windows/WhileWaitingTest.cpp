// The window thread during a network wait: the application has installed the toolkit's
// while-waiting processing as the thread's hook, so the wait hands control to it between
// slices; what the user does meanwhile waits for the next message loop.
#include <gtest/gtest.h>

#include <string>

#include "gui/headless/Headless.h"
#include "net/http/IdHTTP.h"
#include "transport/LoopbackServer.h"

namespace hl = gui::headless;

TEST(WindowThreadWhileWaiting, ASilentMirrorLeavesTheWindowsAnsweringAndTheUsersClickQueued) {
  hl::Reset();
  LoopbackServer mirror([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
  TIdHTTP http;
  http.ReadTimeout = 1000;
  bool clicked = false;
  hl::Post([&clicked] { clicked = true; });  // the user's click, queued before the wait
  const int before = hl::WhileWaitingCalls();
  EXPECT_ANY_THROW(http.FetchUrl("http://127.0.0.1:" + std::to_string(mirror.Port()) + "/brenlow/x.htm"));
  EXPECT_GT(hl::WhileWaitingCalls(), before) << "the window thread was held for the whole wait";
  EXPECT_FALSE(clicked) << "input was taken inside the wait";
  Application->ProcessMessages();
  EXPECT_TRUE(clicked);
}
