// The socket library binding, the shared stack and the socket binding: what reaches the
// library, and how its errors come back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "LoopbackServer.h"
#include "net/transport/IdComponent.h"
#include "net/transport/IdSharedStack.h"
#include "net/transport/IdSocketHandle.h"
#include "net/transport/IdStackWindows.h"
#include "net/transport/IdWinSock2.h"
#include "platform/SocketApi.h"
#include "platform/SocketErrors.h"

namespace ws = IdWinSock2;

// ---- the library binding ------------------------------------------------------------------------

TEST(SocketLibrary, TableHoldsTheEntriesInOrderWithGenericNamesResolvingTheAVariant) {
  EXPECT_STREQ(ws::WinsockEntryName(0), "WSACleanup");
  EXPECT_STREQ(ws::WinsockEntryName(ws::weRecv), "recv");
  EXPECT_STREQ(ws::WinsockEntryName(ws::weWSAGetLastError), "WSAGetLastError");
  EXPECT_STREQ(ws::WinsockEntryName(95), "WSAProviderConfigChange");
  EXPECT_STREQ(ws::WinsockEntryName(98), "WSASocket");
  EXPECT_STREQ(ws::WinsockExportName(98), "WSASocketA");
  EXPECT_STREQ(ws::WinsockExportName(ws::weRecv), "recv");
  EXPECT_STREQ(ws::WinsockEntryName(ws::WinsockEntryCount - 1), "freeaddrinfo");
}

TEST(SocketLibrary, EntriesResolveOnFirstUseAndAMissingExportFailsInOrder) {
  TIdComponent user;  // loads and starts the library
  ASSERT_TRUE(ws::WinsockLoaded());
  ws::htons(1);
  void* target = ws::WinsockEntryTarget(ws::weHtons);
  ASSERT_NE(target, nullptr);
  ws::htons(2);
  EXPECT_EQ(ws::WinsockEntryTarget(ws::weHtons), target);
  // TransmitFile lives in another module on Windows and has no counterpart here.
  try {
    ws::ResolveEntry(ws::weTransmitFile);
    FAIL() << "an entry the library does not export was resolved";
  } catch (const EIdWS2StubError& e) {
    EXPECT_EQ(e.FailureText, "Error on call Winsock2 library function TransmitFile");
    EXPECT_NE(e.SystemErrorCode, 0);
    EXPECT_EQ(e.Message(), e.FailureText + ": " + e.SystemErrorText);
  }
  EXPECT_EQ(ws::WinsockEntryTarget(ws::weTransmitFile), nullptr);
}

TEST(SocketLibrary, CallingBeforeTheLibraryIsLoadedFailsInOrderAndTheNextStackLoadsIt) {
  ASSERT_EQ(IdStackComponentCount(), 0) << "a test left a component alive";
  ws::UnloadWinsock();
  EXPECT_FALSE(ws::WinsockLoaded());
  EXPECT_EQ(ws::WinsockEntryTarget(ws::weHtons), nullptr);
  try {
    ws::htons(80);
    FAIL() << "an entry ran without its library";
  } catch (const EIdWS2StubError& e) {
    EXPECT_EQ(e.SystemErrorCode, Id_WSANOTINITIALISED);
    EXPECT_EQ(e.Message().rfind("Error on call Winsock2 library function htons: ", 0), 0u) << e.Message();
  }
  TIdComponent user;
  EXPECT_TRUE(ws::WinsockLoaded());
  EXPECT_EQ(ws::htons(0x0102), GStack->WSHToNs(0x0102));
  EXPECT_EQ(GStack->WSNToHs(GStack->WSHToNs(8080)), 8080);
}

TEST(SocketLibrary, StubErrorWithoutCodeIsTheFailureTextAlone) {
  EIdWS2StubError e("Error on loading Winsock2 library (WS2_32.DLL)", 0);
  EXPECT_EQ(e.Message(), "Error on loading Winsock2 library (WS2_32.DLL)");
  EXPECT_EQ(e.SystemErrorText, "");
}

// ---- the shared stack ---------------------------------------------------------------------------

TEST(SharedStack, LivesExactlyAsLongAsTheComponentsAndStartsTheLibraryOnce) {
  ASSERT_EQ(IdStackComponentCount(), 0) << "a test left a component alive";
  EXPECT_EQ(GStack, nullptr);
  {
    auto a = std::make_unique<TIdComponent>();
    TIdStack* first = GStack;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(TIdStackWindows::WinsockStarted());
    {
      TIdComponent b;
      EXPECT_EQ(GStack, first);
      EXPECT_EQ(IdStackComponentCount(), 2);
    }
    EXPECT_EQ(GStack, first);
  }
  EXPECT_EQ(GStack, nullptr);
  // The library stays loaded and started: a new stack needs no second start-up.
  EXPECT_TRUE(ws::WinsockLoaded());
  TIdComponent again;
  EXPECT_NE(GStack, nullptr);
  EXPECT_TRUE(TIdStackWindows::WinsockStarted());
}

// The library's start-up and clean-up, seen in a fresh process that ends the ordinary way
// (static destruction included): the calls are written to stderr as they are made.
namespace {

void WriteCall(const char* call) { std::fprintf(stderr, "%s\n", call); }

// Components come and go as in the program: two at once, then none, then one again.
[[noreturn]] void UseComponentsThenEnd(bool keepOneAtTheEnd) {
  platform::ObserveSocketLibraryStartup(WriteCall);
  {
    auto first = std::make_unique<TIdComponent>();
    TIdComponent second;
  }
  { TIdComponent again; }
  // Never destroyed: a component the program still holds when it ends.
  static TIdComponent* kept = keepOneAtTheEnd ? new TIdComponent() : nullptr;
  (void)kept;
  std::exit(0);
}

}  // namespace

TEST(SharedStackDeathTest, TheLibraryStartsOnceAndIsCleanedUpOnceWhenTheProgramEnds) {
  if (!platform::ObserveSocketLibraryStartup(nullptr)) GTEST_SKIP() << "the library's calls are not observable here";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, nothing started yet
  EXPECT_EXIT(UseComponentsThenEnd(false), ::testing::ExitedWithCode(0), "^WSAStartup\nWSACleanup\n$");
  // A component still alive at the end keeps the library: it may still call it.
  EXPECT_EXIT(UseComponentsThenEnd(true), ::testing::ExitedWithCode(0), "^WSAStartup\n$");
}

TEST(SharedStack, ErrorTextsCarryTheNumberAndTheTableText) {
  TIdComponent user;
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSAECONNREFUSED), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSAEWOULDBLOCK), "Socket Error # 10035\r\nOperation would block. ");
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSAENOTEMPTY), "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSAHOST_NOT_FOUND), "Socket Error # 11001\r\nHost not found.");
  // The resolver's other failures say what a name lookup met, not an empty line.
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSATRY_AGAIN),
            "Socket Error # 11002\r\nTemporary failure in name resolution (no name server answered).");
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSANO_DATA),
            "Socket Error # 11004\r\nThe name is known but has no address.");
  // A number without a text still gives the format, with an empty second line.
  EXPECT_EQ(GStack->WSTranslateSocketErrorMsg(Id_WSAEPROCLIM), "Socket Error # 10067\r\n");
}

TEST(SharedStack, CheckSocketResultRaisesTheLibraryErrorUnlessIgnored) {
  TIdComponent user;
  EXPECT_FALSE(GStack->CheckSocketResult(0));
  GStack->WSSetLastError(Id_WSAECONNRESET);
  EXPECT_TRUE(GStack->CheckSocketResult(-1, {Id_WSAECONNABORTED, Id_WSAECONNRESET}));
  EXPECT_EQ(GStack->LastErrorNumber(), Id_WSAECONNRESET);
  GStack->WSSetLastError(Id_WSAETIMEDOUT);
  try {
    GStack->CheckSocketResult(-1, {Id_WSAECONNABORTED});
    FAIL() << "an error off the ignore list passed";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAETIMEDOUT);
    EXPECT_EQ(e.Message(), "Socket Error # 10060\r\nConnection timed out.");
  }
}

TEST(SharedStack, DottedQuadNeedsFourPartsFrom0To255) {
  EXPECT_TRUE(TIdStack::IsDottedQuad("127.0.0.1"));
  EXPECT_TRUE(TIdStack::IsDottedQuad("0.0.0.0"));
  EXPECT_TRUE(TIdStack::IsDottedQuad("255.255.255.255"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("10.0.1"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("10.0.0.1.5"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("10.0.0.256"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("10..0.1"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("10.0.0.x"));
  EXPECT_FALSE(TIdStack::IsDottedQuad("www.example.com"));
  EXPECT_FALSE(TIdStack::IsDottedQuad(""));
}

TEST(SharedStack, LocalhostInAnyCaseAndLiteralsResolveWithoutALookup) {
  TIdComponent user;
  EXPECT_EQ(GStack->ResolveHostToIP("LOCALHOST"), "127.0.0.1");
  EXPECT_EQ(GStack->ResolveHostToIP("localhost"), "127.0.0.1");
  EXPECT_EQ(GStack->ResolveHostToIP("LocalHost"), "127.0.0.1");
  EXPECT_EQ(GStack->ResolveHostToIP("10.20.30.40"), "10.20.30.40");
  // An IPv6 literal is itself, in its shortest text, of its family.
  const std::vector<TIdPeerAddress> v6 = GStack->ResolveHost("0:0:0:0:0:0:0:1");
  ASSERT_EQ(v6.size(), 1u);
  EXPECT_EQ(v6[0].Family, Id_PF_INET6);
  EXPECT_EQ(v6[0].IP, "::1");
}

TEST(SharedStack, IPv6TextAndBytesConvertBothWays) {
  // text, its shortest form ("" when it is no IPv6 address)
  const std::pair<const char*, const char*> table[] = {
      {"::1", "::1"},
      {"::", "::"},
      {"2001:DB8:0:0:0:0:0:7", "2001:db8::7"},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of two equal runs
      {"fe80::1:0:0:0:2", "fe80:0:0:1::2"},           // the longer run
      {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
      {"1:0:3:4:5:6:7:8", "1:0:3:4:5:6:7:8"},  // one zero group stays
      {"::ffff:127.0.0.1", "::ffff:7f00:1"},
      {"1:2:3:4:5:6:7", ""},
      {"1::2::3", ""},
      {"12345::", ""},
      {"1:2:3:4:5:6:7:8:9", ""},
      {"::1:", ""},
      {":1::", ""},
      {"127.0.0.1", ""},
      {"g::1", ""},
  };
  for (const auto& [text, shortest] : table) {
    std::uint8_t bytes[16];
    const bool valid = TIdStack::IPv6ToBytes(text, bytes);
    EXPECT_EQ(valid, *shortest != 0) << text;
    if (valid) {
      EXPECT_EQ(TIdStack::IPv6ToText(bytes), shortest) << text;
    }
  }
}

TEST(SharedStack, DottedTextAndAddressBytesConvertBothWays) {
  TIdComponent user;
  std::uint8_t a[4];
  GStack->DottedToAddress("192.168.0.254", a);
  EXPECT_EQ(a[0], 192);
  EXPECT_EQ(a[3], 254);
  EXPECT_EQ(GStack->AddressToDotted(a), "192.168.0.254");
}

TEST(SharedStack, SelectRefusesMoreThan64Handles) {
  TIdComponent user;
  TIdSocketList many(65, Id_INVALID_SOCKET);
  try {
    GStack->WSSelect(&many, nullptr, 0, nullptr);
    FAIL() << "65 handles were accepted";
  } catch (const EIdStackSetSizeExceeded& e) {
    EXPECT_EQ(e.Message(), "Set Size Exceeded.");
  }
}

// ---- the binding --------------------------------------------------------------------------------

namespace {
// A free run of three ports at or above 5000 (other programs on this machine may hold some).
int FreePortRun() {
  for (int base = 5000; base < 5300; base += 3) {
    bool free = true;
    for (int p = base; p < base + 3 && free; ++p) {
      TIdSocketHandle probe;
      probe.AllocateHandle();
      probe.IP = "127.0.0.1";
      probe.Port = p;
      free = probe.TryBindLocal();
    }
    if (free) return base;
  }
  return 0;
}
}  // namespace

TEST(Binding, PortRangeIsTriedFromTheTopDown) {
  TIdComponent user;
  const int base = FreePortRun();
  ASSERT_NE(base, 0);
  {
    TIdSocketHandle h;
    h.AllocateHandle();
    h.IP = "127.0.0.1";
    h.ClientPortMin = base;
    h.ClientPortMax = base + 2;
    h.BindLocal();
    EXPECT_EQ(h.Port, base + 2);
  }
  // With the top two taken, the bottom one is bound.
  TIdSocketHandle top, middle, h;
  for (auto* b : {&top, &middle}) {
    b->AllocateHandle();
    b->IP = "127.0.0.1";
  }
  top.Port = base + 2;
  middle.Port = base + 1;
  ASSERT_TRUE(top.TryBindLocal());
  ASSERT_TRUE(middle.TryBindLocal());
  h.AllocateHandle();
  h.IP = "127.0.0.1";
  h.ClientPortMin = base + 1;
  h.ClientPortMax = base + 2;
  try {
    h.BindLocal();
    FAIL() << "bound inside a range whose ports are all taken";
  } catch (const EIdCanNotBindPortInRange& e) {
    EXPECT_EQ(e.Message(),
              "Can not bind in port range (" + std::to_string(base + 1) + " - " + std::to_string(base + 2) + ")");
  }
  h.ClientPortMin = base;
  h.Port = 0;  // the failed walk left its last port behind
  h.BindLocal();
  EXPECT_EQ(h.Port, base);
}

TEST(Binding, ReversedRangeAndTakenFixedPortRaiseTheirTexts) {
  TIdComponent user;
  TIdSocketHandle h;
  h.AllocateHandle();
  h.ClientPortMin = 5002;
  h.ClientPortMax = 5000;
  try {
    h.BindLocal();
    FAIL();
  } catch (const EIdInvalidPortRange& e) {
    EXPECT_EQ(e.Message(), "Invalid Port Range (5002 - 5000)");
  }
  TIdSocketHandle holder, second;
  holder.AllocateHandle();
  holder.IP = "127.0.0.1";
  holder.BindLocal();
  ASSERT_NE(holder.Port, 0);
  second.AllocateHandle();
  second.IP = "127.0.0.1";
  second.Port = holder.Port;
  EXPECT_FALSE(second.TryBindLocal());
  EXPECT_THROW(second.BindLocal(), EIdCouldNotBindSocket);
}

TEST(Binding, WaitReadableSeesDataAndClosesAndFailsWithoutASocket) {
  TIdComponent user;
  TIdSocketHandle none;
  EXPECT_THROW(none.WaitReadable(1), EIdConnClosedGracefully);

  LoopbackServer server([](TIdSocketHandle& peer) {
    char go;
    peer.ReceiveBytes(&go, 1);  // sends only when the client asks
    LoopbackServer::SendAll(peer, "x");
  });
  TIdSocketHandle client;
  client.AllocateHandle();
  client.BindLocal();
  client.SetPeerAddress("127.0.0.1", server.Port());
  ASSERT_EQ(client.ConnectPeer(), 0);
  EXPECT_EQ(client.PeerPort, server.Port());
  EXPECT_EQ(client.PeerIP, "127.0.0.1");
  EXPECT_NE(client.Port, 0);
  EXPECT_FALSE(client.WaitReadable(1));  // nothing sent yet
  ASSERT_EQ(client.SendBytes("g", 1), 1);
  EXPECT_TRUE(client.WaitReadable(IdTimeoutInfinite));
  char c = 0;
  EXPECT_EQ(client.ReceiveBytes(&c, 1), 1);
  EXPECT_EQ(c, 'x');
  server.Join();
  EXPECT_TRUE(client.WaitReadable(IdTimeoutInfinite));  // the close is readable
  EXPECT_EQ(client.ReceiveBytes(&c, 1), 0);
  client.ReleaseHandle();
  EXPECT_FALSE(client.HandleAllocated());
}

TEST(Binding, AddressThatIsNotLocalRaisesTheWindowsNumberAndText) {
  TIdComponent user;
  TIdSocketHandle h;
  h.AllocateHandle();
  h.IP = "192.0.2.1";  // a documentation address, never one of this machine's
  try {
    h.BindLocal();
    FAIL() << "bound to an address this machine does not have";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAEADDRNOTAVAIL);
    EXPECT_EQ(e.Message(), "Socket Error # 10049\r\nCannot assign requested address.");
  }
  EXPECT_TRUE(h.HandleAllocated()) << "the failing socket stays allocated";
}
