// A thread with a while-waiting hook (a window thread) runs it while the network waits, and
// the waits end as they did without one: at their limit, when the data comes, or with the
// connect's own error.
#include <gtest/gtest.h>

#include <string>

#include "LoopbackServer.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdSharedStack.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Platform.h"
#include "platform/SocketErrors.h"

namespace {

int g_calls = 0;
int g_abandonAt = 0;  // the hook's call that gives the wait up (0: none)

class WhileWaiting : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = 0;
    g_abandonAt = 0;
    previous_ = SetWhileWaitingHook([] { return ++g_calls != g_abandonAt; });
  }
  void TearDown() override { SetWhileWaitingHook(previous_); }
  TWhileWaitingHook previous_ = nullptr;
  TIdComponent user_;  // keeps the stack
};

}  // namespace

TEST_F(WhileWaiting, ASilentPeerRunsTheHookUntilTheReadLimitEndsTheWait) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ReadTimeout = 1000;
  client.OpenConnection();
  EXPECT_THROW(client.ReadLine(), EIdReadTimeout);
  EXPECT_GT(g_calls, 0) << "the read waited without running the hook";
  client.CloseConnection();
}

TEST_F(WhileWaiting, AReadWithoutLimitWaitsInSlicesAndTakesTheLineWhenItComes) {
  LoopbackServer server([](TIdSocketHandle& peer) {
    platform::SleepMs(400);
    LoopbackServer::SendAll(peer, "late\r\n");
    LoopbackServer::WaitForClose(peer);
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ReadTimeout = 0;  // no limit
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine(), "late");
  EXPECT_GT(g_calls, 0) << "the read waited without running the hook";
  client.CloseConnection();
}

// The window the request worked for was closed: the wait ends at the hook's word, not at the
// read's limit or the peer's answer, and the connection is gone.
TEST_F(WhileWaiting, AWaitTheHookGivesUpOnEndsThereWithoutLimit) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ReadTimeout = 0;  // no limit: only the hook can end it
  client.OpenConnection();
  g_abandonAt = 3;
  EXPECT_THROW(client.ReadLine(), EWaitAbandoned);
  EXPECT_EQ(g_calls, 3);
  client.CloseConnection();
}

// Without a limit the connect runs on the connect thread; its failure is the direct connect's.
TEST_F(WhileWaiting, AConnectWithoutLimitRaisesTheErrorOfADirectConnect) {
  int closedPort = 0;
  {
    TIdSocketHandle h;
    h.AllocateHandle();
    h.IP = "127.0.0.1";
    h.BindLocal();
    closedPort = h.Port;
  }
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(closedPort);
  try {
    client.OpenConnection();
    FAIL() << "connected to a closed port";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAECONNREFUSED);
  }
  EXPECT_FALSE(client.IsConnected());

  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::SendAll(peer, "hello\r\n"); });
  client.SetPort(server.Port());
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine(), "hello");
  EXPECT_EQ(client.Socket()->Binding()->PeerPort, server.Port()) << "the addresses were not read back";
  client.CloseConnection();
}

// A connect thread given up on may fail at any moment; the number another thread raises next
// is its own.
TEST(SharedStack, TheLastErrorNumberIsKeptPerThread) {
  TIdComponent user;
  GStack->WSSetLastError(Id_WSAECONNABORTED);
  ASSERT_TRUE(GStack->CheckSocketResult(-1, {Id_WSAECONNABORTED}));
  int seenThere = 0;
  platform::Thread other;
  ASSERT_TRUE(other.Start([&seenThere] {
    GStack->WSSetLastError(Id_WSAENOTSOCK);
    GStack->CheckSocketResult(-1, {Id_WSAENOTSOCK});
    seenThere = GStack->LastErrorNumber();
  }));
  other.Join();
  EXPECT_EQ(seenThere, Id_WSAENOTSOCK);
  EXPECT_EQ(GStack->LastErrorNumber(), Id_WSAECONNABORTED);
}
