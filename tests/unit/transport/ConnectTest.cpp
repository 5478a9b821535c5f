// Opening and closing client connections over loopback: failures, time limits, status reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdSharedStack.h"
#include "net/transport/IdStackWindows.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Platform.h"
#include "platform/SocketErrors.h"

namespace {

// A port on 127.0.0.1 where nothing listens.
int ClosedPort() {
  TIdSocketHandle h;
  h.AllocateHandle();
  h.IP = "127.0.0.1";
  h.BindLocal();
  return h.Port;  // released when h goes
}

struct StatusLog {
  std::vector<std::pair<TIdStatus, std::string>> entries;
  TIdStatusEvent Event() {
    return [this](TIdComponent*, TIdStatus s, const std::string& text) { entries.emplace_back(s, text); };
  }
};

}  // namespace

TEST(Connect, RefusedGives10061AndTheSameClientConnectsAfterwards) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(ClosedPort());
  try {
    client.OpenConnection();
    FAIL() << "connected to a closed port";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAECONNREFUSED);
    EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_FALSE(client.IsConnected());
  ASSERT_NE(client.IOHandler(), nullptr) << "the handler stays for the next attempt";

  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::SendAll(peer, "hello\r\n"); });
  client.SetPort(server.Port());
  client.OpenConnection();
  EXPECT_TRUE(client.IsConnected());
  EXPECT_EQ(client.ReadLine(), "hello");
  client.CloseConnection();
}

TEST(Connect, SecondOpenRaisesAlreadyConnectedAndLeavesTheFirstIntact) {
  LoopbackServer server([](TIdSocketHandle& peer) {
    std::string got = LoopbackServer::Receive(peer, 4);
    LoopbackServer::SendAll(peer, got + "\n");
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  try {
    client.OpenConnection();
    FAIL() << "a second open succeeded";
  } catch (const EIdAlreadyConnected& e) {
    EXPECT_EQ(e.Message(), "Already connected.");
  }
  client.WriteText("ping");
  EXPECT_EQ(client.ReadLine(), "ping");
}

TEST(Connect, TimeLimitTowardsAPeerThatNeverAnswersRaisesConnectTimedOut) {
  // A listener whose backlog is full drops further connection requests unanswered. Fill it
  // with short timed connects until one of them is left unanswered.
  TIdComponent user;
  TIdSocketHandle listener;
  listener.AllocateHandle();
  listener.IP = "127.0.0.1";
  listener.BindLocal();
  listener.Listen(0);
  std::vector<std::unique_ptr<TIdTCPClient>> fillers;
  bool full = false;
  for (int i = 0; i < 16 && !full; ++i) {
    auto filler = std::make_unique<TIdTCPClient>();
    filler->SetHost("127.0.0.1");
    filler->SetPort(listener.Port);
    try {
      filler->OpenConnection(150);
    } catch (const EIdConnectTimeout&) {
      full = true;
    }
    fillers.push_back(std::move(filler));
  }
  ASSERT_TRUE(full) << "the listener's backlog never filled";

  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(listener.Port);
  // The listener never accepts and its backlog is full: only the limit ends the connect, with
  // its own exception (the system's connect, giving up by itself, fails otherwise).
  try {
    client.OpenConnection(300);
    FAIL() << "connected to a peer that does not answer";
  } catch (const EIdConnectTimeout& e) {
    EXPECT_EQ(e.Message(), "Connect timed out.");
  }
  EXPECT_FALSE(client.IsConnected());
  ASSERT_NE(client.Socket(), nullptr);
  EXPECT_FALSE(client.Socket()->HasSocket());
}

TEST(Connect, TimedConnectToAListeningPeerConnectsWithItsAddressesReadBack) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::SendAll(peer, "ok\n"); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection(IdTimeoutInfinite);
  EXPECT_EQ(client.ReadLine(), "ok");
  TIdSocketHandle* binding = client.Socket()->Binding();
  EXPECT_EQ(binding->IP, "127.0.0.1") << "the local address bound to any address was not read back";
  EXPECT_EQ(binding->PeerPort, server.Port());
}

TEST(Connect, TimedConnectRefusedRaisesTheThreadsFailureText) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(ClosedPort());
  try {
    client.OpenConnection(3000);
    FAIL();
  } catch (const EIdConnectException& e) {
    EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_FALSE(client.IsConnected());
}

namespace {
// The process's stack with the connect held until the test lets it go, and every close and
// the end of every connect recorded in order.
class THeldConnectStack : public TIdStackWindows {
 public:
  int WSConnect(TIdStackSocketHandle s, int, const std::string&, int) override {
    entered.Set();
    release.Wait(60000);
    Record("connect returned " + std::to_string(s));
    WSSetLastError(10061);
    return Id_SOCKET_ERROR;
  }
  int WSCloseSocket(TIdStackSocketHandle s) override {
    const int result = TIdStackWindows::WSCloseSocket(s);
    Record("closed " + std::to_string(s));
    closed.Set();  // the last touch of this object
    return result;
  }
  std::vector<std::string> Events() {
    platform::LockGuard g(lock_);
    return events_;
  }
  platform::Event entered, release, closed;

 private:
  void Record(const std::string& e) {
    platform::LockGuard g(lock_);
    events_.push_back(e);
  }
  platform::Lock lock_;
  std::vector<std::string> events_;
};
}  // namespace

TEST(ConnectHandOver, AnAbandonedConnectKeepsItsSocketUntilItReturnsThenClosesItOnce) {
  TIdComponent stackUser;  // the process's stack stays while GStack points elsewhere
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(ClosedPort());
  TIdStack* const processStack = GStack;
  THeldConnectStack held;
  GStack = &held;
  EXPECT_THROW(client.OpenConnection(150), EIdConnectTimeout);
  const bool connectRuns = held.entered.Wait(30000);
  const std::vector<std::string> whileConnecting = held.Events();
  const bool clientHasSocket = client.Socket()->HasSocket();
  held.release.Set();
  const bool closedAfterwards = held.closed.Wait(30000);
  GStack = processStack;

  EXPECT_TRUE(connectRuns);
  EXPECT_TRUE(whileConnecting.empty()) << "the socket was closed while its connect still ran";
  EXPECT_FALSE(clientHasSocket) << "the client kept the socket it handed over";
  ASSERT_TRUE(closedAfterwards) << "the abandoned socket was never closed";
  const std::vector<std::string> events = held.Events();
  ASSERT_EQ(events.size(), 2u);
  const std::string handle = events[0].substr(std::string("connect returned ").size());
  EXPECT_EQ(events[1], "closed " + handle);
}

namespace {
// A name with an IPv6 address whose route is dead (its connect hangs until the test lets it
// go) and an IPv4 address on loopback.
class TDeadIPv6RouteStack : public TIdStackWindows {
 public:
  std::vector<TIdPeerAddress> LookupHostAddresses(const std::string&, int) override {
    return {{Id_PF_INET6, "2001:db8::1"}, {Id_PF_INET6, "2001:db8::2"}, {Id_PF_INET, "127.0.0.1"}};
  }
  int WSConnect(TIdStackSocketHandle s, int family, const std::string& ip, int port) override {
    Record(ip);
    if (family == Id_PF_INET) return TIdStackWindows::WSConnect(s, family, ip, port);
    release.Wait(60000);
    WSSetLastError(Id_WSAETIMEDOUT);
    returned.Set();  // the last touch of this object
    return Id_SOCKET_ERROR;
  }
  std::vector<std::string> Asked() {
    platform::LockGuard g(lock_);
    return asked_;
  }
  platform::Event release, returned;

 private:
  void Record(const std::string& ip) {
    platform::LockGuard g(lock_);
    asked_.push_back(ip);
  }
  platform::Lock lock_;
  std::vector<std::string> asked_;
};
}  // namespace

TEST(ConnectBothFamilies, AnIPv6RouteThatHangsLosesTheRaceToIPv4WithinTheLimit) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
  TIdComponent stackUser;
  TIdStack* const processStack = GStack;
  // The abandoned IPv6 connect returns on its own thread after this test has ended: the stack it
  // ran on must outlive the test, so it lives until the process ends.
  static TDeadIPv6RouteStack dead;
  GStack = &dead;
  TIdTCPClient client;
  client.SetHost("both.parvalo.test");
  client.SetPort(server.Port());
  std::string error;
  try {
    client.OpenConnection(10000);
  } catch (const std::exception& e) {
    error = e.what();
  }
  const TIdSocketHandle* binding = client.Socket() ? client.Socket()->Binding() : nullptr;
  const int family = binding ? binding->Family : 0;
  const std::string peer = binding ? binding->PeerIP : "";
  client.CloseConnection();
  const std::vector<std::string> asked = dead.Asked();
  dead.release.Set();
  const bool returned = dead.returned.Wait(30000);
  GStack = processStack;
  ASSERT_TRUE(returned) << "the abandoned IPv6 connect never returned";

  EXPECT_EQ(error, "");
  EXPECT_EQ(family, Id_PF_INET);
  EXPECT_EQ(peer, "127.0.0.1");
  // The families alternate: the second address tried is the IPv4 one, not the other IPv6 one.
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked[0], "2001:db8::1");
  EXPECT_EQ(asked[1], "127.0.0.1");
}

TEST(ConnectStatus, HostNameReportsResolvingConnectingConnectedThenClosingReports) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
  StatusLog log;
  TIdTCPClient client;
  client.OnStatus = log.Event();
  client.SetHost("LocalHost");
  client.SetPort(server.Port());
  client.OpenConnection();
  ASSERT_NE(client.Socket(), nullptr);
  EXPECT_EQ(client.Socket()->Binding()->PeerIP, "127.0.0.1");
  client.CloseConnection();
  ASSERT_EQ(log.entries.size(), 5u);
  EXPECT_EQ(log.entries[0], std::make_pair(hsResolving, std::string("Resolving hostname LocalHost.")));
  EXPECT_EQ(log.entries[1], std::make_pair(hsConnecting, std::string("Connecting to 127.0.0.1.")));
  EXPECT_EQ(log.entries[2], std::make_pair(hsConnected, std::string("Connected.")));
  EXPECT_EQ(log.entries[3], std::make_pair(hsDisconnecting, std::string("Disconnecting.")));
  EXPECT_EQ(log.entries[4], std::make_pair(hsDisconnected, std::string("Disconnected.")));
  EXPECT_EQ(client.IOHandler(), nullptr) << "the handler the client made is gone after the close";
}

TEST(ConnectStatus, DottedHostSkipsResolvingAndNewHandlerTakesTheCurrentEvent) {
  StatusLog first, second;
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  {
    LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
    client.OnStatus = first.Event();
    client.SetPort(server.Port());
    client.OpenConnection();
    client.CloseConnection();
  }
  ASSERT_EQ(first.entries.size(), 4u);
  EXPECT_EQ(first.entries[0].first, hsConnecting);
  {
    LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::WaitForClose(peer); });
    client.OnStatus = second.Event();
    client.SetPort(server.Port());
    client.OpenConnection();
    client.CloseConnection();
  }
  EXPECT_EQ(first.entries.size(), 4u) << "the old handler reported into the new connection";
  ASSERT_EQ(second.entries.size(), 4u);
  EXPECT_EQ(second.entries[0].first, hsConnecting);
}

TEST(ConnectStatus, ReportsWithoutArgumentsAndFreeTexts) {
  StatusLog log;
  TIdComponent c;
  c.ReportStatus(hsStatusText, "Chunk Started");
  c.OnStatus = log.Event();
  c.ReportStatus(hsStatusText, "Chunk Started");
  c.ReportStatus(hsStatusText, "100% %s done");
  c.ReportStatus(hsDisconnected);
  ASSERT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(log.entries[0].second, "Chunk Started");
  EXPECT_EQ(log.entries[1].second, "100% %s done");
  EXPECT_EQ(log.entries[2].second, "Disconnected.");
}

TEST(ConnectLifecycle, AHandlerDestroyedElsewhereIsForgotten) {
  TIdTCPClient client;
  {
    TIdIOHandlerSocket handler;
    client.SetIOHandler(&handler);
    EXPECT_EQ(client.Socket(), &handler);
  }
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.IsConnected());
}
