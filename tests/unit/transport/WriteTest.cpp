// Writing: direct sends, the write buffer, partial sends, send failures and stream writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "net/transport/IdTCPClient.h"
#include "platform/SocketErrors.h"

namespace {
struct MemoryConnection {
  TIdTCPClient client;
  TIdIOHandlerMemory handler;
  MemoryConnection() {
    client.SetIOHandler(&handler);
    client.OpenConnection();
  }
};
}  // namespace

TEST(Writes, BufferingWithoutThresholdSendsEverythingOnceAtTheEnd) {
  MemoryConnection c;
  c.client.BeginWriteBuffering(-1);
  c.client.WriteLine("GET / HTTP/1.1");
  c.client.WriteLine("Host: example");
  c.client.WriteLine("");
  EXPECT_EQ(c.handler.SendCount(), 0);
  EXPECT_EQ(c.handler.Output(), "");
  c.client.EndWriteBuffering();
  EXPECT_EQ(c.handler.SendCount(), 1);
  EXPECT_EQ(c.handler.Output(), "GET / HTTP/1.1\r\nHost: example\r\n\r\n");
  EXPECT_FALSE(c.client.WriteBuffering());
  c.client.WriteText("after");
  EXPECT_EQ(c.handler.SendCount(), 2) << "writes after the end go out at once";
}

TEST(Writes, ThresholdSendsWholeThresholdsAndKeepsTheRest) {
  MemoryConnection c;
  c.client.BeginWriteBuffering(4);
  c.client.WriteText("abcdef");
  EXPECT_EQ(c.handler.Output(), "abcd");
  c.client.WriteText("g");
  EXPECT_EQ(c.handler.Output(), "abcd");
  c.client.EndWriteBuffering();
  EXPECT_EQ(c.handler.Output(), "abcdefg");
}

TEST(Writes, DiscardDropsCollectedBytesAndASecondBeginKeepsThem) {
  MemoryConnection c;
  c.client.BeginWriteBuffering();
  c.client.WriteText("dropped");
  c.client.DiscardWriteBuffering();
  c.client.WriteText("kept");
  c.client.BeginWriteBuffering();
  c.client.EndWriteBuffering();
  EXPECT_EQ(c.handler.Output(), "kept");
}

TEST(Writes, PartialSendsAreRepeatedUntilAllIsOutAndCountedAsWork) {
  MemoryConnection c;
  std::vector<std::int64_t> positions;
  c.client.OnWork = [&](TIdComponent*, TWorkMode m, std::int64_t n) {
    if (m == wmWrite) positions.push_back(n);
  };
  c.handler.MaxSendChunk = 3;
  TMemoryStream source(std::string("0123456789"));
  c.client.WriteFromStream(source, true, true);
  EXPECT_EQ(c.handler.Output(), std::string("\0\0\0\x0a", 4) + "0123456789");
  // The length prefix is sent before the span opens; inside it every send counts.
  EXPECT_EQ(positions, (std::vector<std::int64_t>{3, 6, 9, 10}));
  EXPECT_EQ(c.client.WorkLevel(wmWrite), 0);
}

TEST(Writes, StreamWriteOfAPartFromTheCurrentPosition) {
  MemoryConnection c;
  TMemoryStream source(std::string("skip-this-part"));
  source.SetPosition(5);
  c.client.WriteFromStream(source, false, false, 4);
  EXPECT_EQ(c.handler.Output(), "this");
}

TEST(Writes, ResetOnSendDropsTheSocketAndRaisesTheSendsError) {
  MemoryConnection c;
  c.handler.FailSend(Id_WSAECONNRESET);
  try {
    c.client.WriteText("x");
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAECONNRESET);
  }
  EXPECT_FALSE(c.client.IsConnected());
  EXPECT_THROW(c.client.WriteText("y"), EIdConnClosedGracefully);
}

TEST(Writes, OtherSendErrorRaisesAndKeepsTheSocket) {
  MemoryConnection c;
  c.handler.FailSend(Id_WSAENOBUFS);
  EXPECT_THROW(c.client.WriteText("x"), EIdSocketError);
  EXPECT_TRUE(c.client.IsConnected());
}

TEST(Writes, FailedFlushAtTheEndStillEndsBuffering) {
  MemoryConnection c;
  c.client.BeginWriteBuffering();
  c.client.WriteText("request");
  c.handler.FailSend(Id_WSAECONNABORTED);
  EXPECT_THROW(c.client.EndWriteBuffering(), EIdSocketError);
  EXPECT_FALSE(c.client.WriteBuffering());
}

TEST(Writes, WritingWithoutAConnectionRaisesNotConnected) {
  TIdTCPClient client;
  TIdIOHandlerMemory handler;
  client.SetIOHandler(&handler);
  try {
    client.WriteText("x");
    FAIL();
  } catch (const EIdConnClosedGracefully&) {
    // a handler without a socket counts as a closed link
  }
  TIdTCPClient bare;
  try {
    bare.WriteText("x");
    FAIL();
  } catch (const EIdNotConnected& e) {
    EXPECT_EQ(e.Message(), "Not Connected");
  }
}

TEST(Writes, LoopbackRoundTrip) {
  LoopbackServer server([](TIdSocketHandle& peer) {
    std::string got = LoopbackServer::Receive(peer, 200000);
    LoopbackServer::SendAll(peer, std::to_string(got.size()) + " " + got.substr(199990) + "\n");
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  std::string payload(199990, 'p');
  client.BeginWriteBuffering();
  client.WriteText(payload);
  client.WriteText("0123456789");
  client.EndWriteBuffering();
  EXPECT_EQ(client.ReadLine(), "200000 0123456789");
}
