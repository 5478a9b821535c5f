// Host name lookups under a time limit: a resolver that never answers must not hold the caller
// past the limit, its late answer must harm nothing, and an answer in time is used. The
// library's resolver is replaced by a scripted one (the Linux build's module allows it).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "LoopbackServer.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdHostLookup.h"
#include "net/transport/IdSharedStack.h"
#include "net/transport/IdTCPClient.h"
#include "platform/Platform.h"
#include "platform/SocketApi.h"
#include "platform/SocketErrors.h"

namespace {

// The scripted resolver: each lookup waits until the gate opens, then answers `answer`
// (dotted; loopback only, so that a fault never sends a connect elsewhere) or fails with
// `error`. Like a name server that stays silent, a closed gate ends in Id_WSATRY_AGAIN after
// 10 s, so that a missing time limit fails a test instead of hanging it. What it was asked
// is kept.
struct Resolver {
  platform::Lock lock;
  std::shared_ptr<platform::Event> gate = OpenGate();  // replaced by a new one when it closes
  std::string answer = "127.1.2.3";
  int error = 0;
  std::string asked;
  static std::shared_ptr<platform::Event> OpenGate() {
    auto gate = std::make_shared<platform::Event>();
    gate->Set();
    return gate;
  }
};
// Never destroyed: a lookup given up on may still wait on it while the process ends.
Resolver& g_resolver = *new Resolver;

platform::THostEnt* ScriptedLookup(const char* name, int& error) {
  std::shared_ptr<platform::Event> gate;
  {
    platform::LockGuard lock(g_resolver.lock);
    g_resolver.asked = name;
    gate = g_resolver.gate;
  }
  if (!gate->Wait(10000)) {
    error = Id_WSATRY_AGAIN;
    return nullptr;
  }
  platform::LockGuard lock(g_resolver.lock);
  if (g_resolver.error) {
    error = g_resolver.error;
    return nullptr;
  }
  // Per thread, as the library keeps its record.
  thread_local char address[4];
  thread_local char* list[2];
  thread_local platform::THostEnt record;
  unsigned a, b, c, d;
  std::sscanf(g_resolver.answer.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  address[0] = static_cast<char>(a), address[1] = static_cast<char>(b);
  address[2] = static_cast<char>(c), address[3] = static_cast<char>(d);
  list[0] = address;
  list[1] = nullptr;
  record.h_addrtype = Id_PF_INET;
  record.h_length = 4;
  record.h_addr_list = list;
  return &record;
}

// What the next lookups answer: an address, or with `error` set, that failure.
void Script(const std::string& answer, int error = 0) {
  platform::LockGuard lock(g_resolver.lock);
  g_resolver.answer = answer;
  g_resolver.error = error;
}

std::string Asked() {
  platform::LockGuard lock(g_resolver.lock);
  return g_resolver.asked;
}

void SetGate(bool open) {
  platform::LockGuard lock(g_resolver.lock);
  if (open)
    g_resolver.gate->Set();
  else
    g_resolver.gate = std::make_shared<platform::Event>();
}

// Waits until no lookup runs on a thread of its own; false when one still runs after 10 s.
bool LookupsEnd() {
  for (int i = 0; i < 10000 && HostLookupsRunning() > 0; ++i) platform::SleepMs(1);
  return HostLookupsRunning() == 0;
}

class HostLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::ReplaceHostLookup(ScriptedLookup)) GTEST_SKIP() << "the resolver can not be replaced here";
    SetGate(true);
    Script("127.1.2.3");
  }
  void TearDown() override {
    SetGate(true);
    EXPECT_TRUE(LookupsEnd()) << "a lookup never ended";
    platform::ReplaceHostLookup(nullptr);
  }
  TIdComponent user_;  // keeps the stack
};

}  // namespace

TEST_F(HostLookup, ASilentResolverEndsWithTimedOutAfterAboutTheLimitAndItsLateAnswerHarmsNothing) {
  // The resolver answers only when the gate opens, which it does not before the caller has
  // given up: the call can only end by its limit (one never kept hangs the test).
  SetGate(false);
  try {
    GStack->ResolveHostToIP("silent.parvalo.test", 300);
    FAIL() << "a lookup that never answered gave an address";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAETIMEDOUT);
    EXPECT_EQ(e.Message(), "Socket Error # 10060\r\nConnection timed out.");
  }
  EXPECT_EQ(Asked(), "silent.parvalo.test");
  EXPECT_EQ(HostLookupsRunning(), 1) << "the lookup given up on runs on";

  // Its answer comes after the caller has gone; the next lookup is not disturbed by it.
  SetGate(true);
  ASSERT_TRUE(LookupsEnd());
  Script("127.9.8.7");
  EXPECT_EQ(GStack->ResolveHostToIP("next.parvalo.test", 300), "127.9.8.7");
}

TEST_F(HostLookup, AnAnswerWithinTheLimitIsUsedWithOrWithoutALimit) {
  EXPECT_EQ(GStack->ResolveHostToIP("quick.parvalo.test", 5000), "127.1.2.3");
  EXPECT_EQ(Asked(), "quick.parvalo.test");
  Script("127.4.5.6");
  EXPECT_EQ(GStack->ResolveHostToIP("plain.parvalo.test"), "127.4.5.6");
  EXPECT_EQ(Asked(), "plain.parvalo.test");
}

TEST_F(HostLookup, AFailureWithinTheLimitCarriesTheResolversOwnNumber) {
  // The number is read on the thread that failed: on another it would be lost.
  Script("", Id_WSAHOST_NOT_FOUND);
  try {
    GStack->ResolveHostToIP("nowhere.parvalo.test", 5000);
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAHOST_NOT_FOUND);
    EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_EQ(GStack->LastErrorNumber(), Id_WSAHOST_NOT_FOUND);
}

TEST_F(HostLookup, AClientsConnectLimitBoundsItsLookupAndTheClientConnectsAfterwards) {
  SetGate(false);
  TIdTCPClient client;
  client.SetHost("mirror1.parvalo.test");
  client.SetPort(8080);
  // The gate is shut: only the connect limit, reaching the lookup, can end the call.
  try {
    client.OpenConnection(300);
    FAIL() << "connected without an address";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAETIMEDOUT);
  }
  EXPECT_FALSE(client.IsConnected());

  Script("127.0.0.1");
  SetGate(true);
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::SendAll(peer, "hello\n"); });
  client.SetPort(server.Port());
  client.OpenConnection(3000);
  EXPECT_EQ(client.ReadLine(), "hello");
  client.CloseConnection();
}

// At the program's end a lookup given up on may still be inside the library: the library is
// then neither cleaned up nor unloaded under it (the process's end frees it).
namespace {

void WriteCall(const char* call) { std::fprintf(stderr, "%s\n", call); }

[[noreturn]] void GiveUpOnALookupThenEnd() {
  platform::ReplaceHostLookup(ScriptedLookup);
  platform::ObserveSocketLibraryStartup(WriteCall);
  SetGate(false);  // never opened again
  {
    TIdComponent user;
    try {
      GStack->ResolveHostToIP("silent.parvalo.test", 50);
    } catch (const EIdSocketError&) {
    }
  }
  std::exit(0);
}

}  // namespace

TEST(HostLookupDeathTest, ALookupStillRunningAtTheEndKeepsTheLibrary) {
  if (!platform::ReplaceHostLookup(nullptr)) GTEST_SKIP() << "the resolver can not be replaced here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, nothing started yet
  EXPECT_EXIT(GiveUpOnALookupThenEnd(), ::testing::ExitedWithCode(0), "^WSAStartup\n$");
}

// A window thread (one with a while-waiting hook) is not held by a lookup, with or without a
// limit: the hook runs while the resolver is silent, and here it is what lets the answer come.
TEST_F(HostLookup, AThreadWithAWhileWaitingHookRunsItWhileTheResolverIsSilent) {
  static int calls = 0;
  calls = 0;
  const TWhileWaitingHook previous = SetWhileWaitingHook([] {
    if (++calls == 3) SetGate(true);
    return true;
  });
  SetGate(false);
  Script("127.4.5.6");
  EXPECT_EQ(GStack->ResolveHostToIP("slow.parvalo.test"), "127.4.5.6");
  EXPECT_GE(calls, 3);

  SetGate(false);
  try {
    GStack->ResolveHostToIP("silent.parvalo.test", 1000);
    FAIL() << "a lookup that never answered gave an address";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAETIMEDOUT);
  }
  EXPECT_GT(calls, 3) << "the limited lookup waited without running the hook";
  SetWhileWaitingHook(previous);
}

// The window the lookup worked for was closed: the wait ends at the hook's word, whatever the
// resolver does; the lookup is left to its thread.
TEST_F(HostLookup, ALookupTheHookGivesUpOnEndsThere) {
  static int calls = 0;
  calls = 0;
  const TWhileWaitingHook previous = SetWhileWaitingHook([] { return ++calls < 2; });
  SetGate(false);
  Script("127.4.5.6");
  EXPECT_THROW(GStack->ResolveHostToIP("closed.parvalo.test"), EWaitAbandoned);
  EXPECT_EQ(calls, 2);
  SetWhileWaitingHook(previous);
  SetGate(true);
  EXPECT_TRUE(LookupsEnd());
}
