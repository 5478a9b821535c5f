// Reading through the input buffer: lines, counted and stream reads, peer closes, and the
// work events they raise. Most cases run over the in-memory handler; the last ones over
// loopback sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "net/transport/IdTCPClient.h"
#include "platform/SocketErrors.h"

namespace {

// A connection over the in-memory handler, opened.
struct MemoryConnection {
  TIdTCPClient client;
  TIdIOHandlerMemory handler;
  MemoryConnection() {
    client.SetIOHandler(&handler);
    client.SetHost("peer");
    client.OpenConnection();
  }
};

struct WorkLog {
  std::vector<std::string> events;
  void Attach(TIdComponent& c) {
    c.OnWorkBegin = [this](TIdComponent*, TWorkMode m, std::int64_t max) {
      events.push_back(std::string(m == wmRead ? "r" : "w") + "begin " + std::to_string(max));
    };
    c.OnWork = [this](TIdComponent*, TWorkMode m, std::int64_t n) {
      events.push_back(std::string(m == wmRead ? "r" : "w") + std::to_string(n));
    };
    c.OnWorkEnd = [this](TIdComponent*, TWorkMode m) {
      events.push_back(std::string(m == wmRead ? "r" : "w") + "end");
    };
  }
};

using Events = std::vector<std::string>;

}  // namespace

// ---- lines --------------------------------------------------------------------------------------

TEST(Lines, CrLfAndLfEndLinesAndALoneCrLfIsAnEmptyLine) {
  MemoryConnection c;
  c.handler.AddInput("abc\r\nabc\n\r\nlast");
  c.handler.AddInput("\n");
  EXPECT_EQ(c.client.ReadLine(), "abc");
  EXPECT_EQ(c.client.ReadLine(), "abc");
  EXPECT_EQ(c.client.ReadLine(), "");
  EXPECT_EQ(c.client.ReadLine(), "last");
}

TEST(Lines, LineSplitOverManyArrivalsIsJoined) {
  MemoryConnection c;
  for (char ch : std::string("split line\r")) c.handler.AddInput(std::string(1, ch));
  c.handler.AddInput("\nnext\n");
  EXPECT_EQ(c.client.ReadLine(), "split line");
  EXPECT_EQ(c.client.ReadLine(), "next");
}

TEST(Lines, OtherTerminatorKeepsACrBeforeItAndMaySpanArrivals) {
  MemoryConnection c;
  c.handler.AddInput("one\r|two");
  c.handler.AddInput("<");
  c.handler.AddInput("END>three<END>");
  EXPECT_EQ(c.client.ReadLine("|"), "one\r");
  EXPECT_EQ(c.client.ReadLine("<END>"), "two");
  EXPECT_EQ(c.client.ReadLine("<END>"), "three");
}

TEST(Lines, MaxLengthCountsEveryByteBeforeTheLfIncludingCr) {
  MemoryConnection c;
  c.handler.AddInput(std::string(16384, 'a') + "\n");
  c.handler.AddInput(std::string(16383, 'b') + "\r\n");
  c.handler.AddInput(std::string(16384, 'c') + "\r\n");
  EXPECT_EQ(c.client.ReadLine(), std::string(16384, 'a'));
  EXPECT_EQ(c.client.ReadLine(), std::string(16383, 'b'));
  try {
    c.client.ReadLine();
    FAIL() << "a line of 16385 bytes was accepted";
  } catch (const EIdReadLnMaxLineLengthExceeded& e) {
    EXPECT_EQ(e.Message(), "Max line length exceeded.");
  }
}

TEST(Lines, OverlongLineWithoutTerminatorYetIsRefusedBeforeMoreIsRead) {
  MemoryConnection c;
  c.handler.AddInput(std::string(20000, 'x'));
  EXPECT_THROW(c.client.ReadLine(), EIdReadLnMaxLineLengthExceeded);
}

TEST(Lines, SplitModeReturnsTheFirstMaximumBytesAndKeepsTheRest) {
  MemoryConnection c;
  c.client.MaxLineAction = maSplit;
  c.handler.AddInput(std::string(16384, 'a') + "tail\n");
  EXPECT_EQ(c.client.ReadLine(), std::string(16384, 'a'));
  EXPECT_EQ(c.client.ReadLine(), "tail");
  c.handler.AddInput("0123456789\n");
  EXPECT_EQ(c.client.ReadLine("\n", IdTimeoutDefault, 4), "0123");
  EXPECT_EQ(c.client.ReadLine("\n", IdTimeoutDefault, 0), "456789");
}

TEST(Lines, UnterminatedBytesThenCloseGiveAnEmptyLineThenTheCloseRaises) {
  MemoryConnection c;
  c.handler.AddInput("abc");
  c.handler.ClosePeer();
  EXPECT_EQ(c.client.ReadLine(), "");
  EXPECT_EQ(c.client.InputBuffer().Size(), 3);
  try {
    c.client.ReadLine();
    FAIL();
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
}

TEST(Lines, CloseWithNothingBufferedRaisesAtOnce) {
  MemoryConnection c;
  c.handler.ClosePeer();
  EXPECT_THROW(c.client.ReadLine(), EIdConnClosedGracefully);
  EXPECT_FALSE(c.client.IsConnected());
}

TEST(Lines, ExplicitTimeLimitThatPassesRaisesReadTimeout) {
  MemoryConnection c;
  c.handler.AddInput("no end");
  EXPECT_THROW(c.client.ReadLine("\n", 10), EIdReadTimeout);
  EXPECT_EQ(c.client.InputBuffer().Size(), 6) << "the partial line stays";
}

TEST(Lines, ReadTimeoutWithNothingArrivingRaises) {
  MemoryConnection c;
  c.client.ReadTimeout = 50;
  try {
    c.client.ReadLine();
    FAIL();
  } catch (const EIdReadTimeout& e) {
    EXPECT_EQ(e.Message(), "Read Timeout");
  }
}

TEST(Lines, NonEmptyLineSkipsBlankOnes) {
  MemoryConnection c;
  c.handler.AddInput("\r\n   \n  value  \n");
  EXPECT_EQ(c.client.ReadNonEmptyLine(5), "value");
}

// ---- counted and stream reads -------------------------------------------------------------------

TEST(CountedReads, EarlyCloseKeepsTheBytesReadCutsTheStreamAndRaises) {
  MemoryConnection c;
  c.handler.AddInput("HEAD\nabcd");
  c.handler.ClosePeer();
  EXPECT_EQ(c.client.ReadLine(), "HEAD");
  TMemoryStream body;
  EXPECT_THROW(c.client.ReadIntoStream(body, 10), EIdConnClosedGracefully);
  EXPECT_EQ(body.DataString(), "abcd");
  EXPECT_EQ(body.Size(), 4);
}

TEST(CountedReads, BytesNotCompletingAPieceStayBufferedAtTheClose) {
  MemoryConnection c;
  c.client.RecvBufferSize = 4;  // pieces of 4 bytes
  c.handler.AddInput("12345");
  c.handler.ClosePeer();
  TMemoryStream body;
  EXPECT_THROW(c.client.ReadIntoStream(body, 10), EIdConnClosedGracefully);
  EXPECT_EQ(body.DataString(), "1234");
  EXPECT_EQ(c.client.InputBuffer().Size(), 1);
}

TEST(CountedReads, UntilClosedEndsNormallyWithEveryByte) {
  MemoryConnection c;
  c.handler.AddInput("HEAD\nabcd");
  c.handler.AddInput("efgh");
  c.handler.ClosePeer();
  c.client.ReadLine();
  TMemoryStream body;
  c.client.ReadIntoStream(body, -1, true);
  EXPECT_EQ(body.DataString(), "abcdefgh");
}

TEST(CountedReads, LengthPrefixedReadAndWritesIntoTheMiddleOfAStream) {
  MemoryConnection c;
  c.handler.AddInput(std::string("\0\0\0\x05hello", 9));
  TMemoryStream body(std::string("[]"));
  body.SetPosition(1);
  c.client.ReadIntoStream(body);
  EXPECT_EQ(body.DataString(), "[hello");
}

TEST(CountedReads, ExactReadAcrossArrivalsAndInt32) {
  MemoryConnection c;
  c.handler.AddInput(std::string("\x01\x02", 2));
  c.handler.AddInput(std::string("\x03\x04xyz", 5));
  EXPECT_EQ(c.client.ReadInt32(true), 0x01020304);
  char buf[3];
  c.client.ReadExact(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "xyz");
}

TEST(CountedReads, ReadUntilClosedCollectsEverything) {
  MemoryConnection c;
  c.handler.AddInput("part one, ");
  c.handler.AddInput("part two");
  c.handler.ClosePeer();
  EXPECT_EQ(c.client.ReadUntilClosed(), "part one, part two");
  EXPECT_FALSE(c.client.IsConnected());
  EXPECT_EQ(c.client.WorkLevel(wmRead), 0);
}

TEST(CountedReads, ResetErrorAfterBufferedBytesDropsTheSocketAndKeepsThem) {
  MemoryConnection c;
  c.handler.AddInput("abc");
  c.handler.FailReceive(Id_WSAECONNABORTED);
  EXPECT_EQ(c.client.ReadLine(), "");  // the link is gone, the bytes stay
  EXPECT_EQ(c.client.InputBuffer().Size(), 3);
  EXPECT_FALSE(c.client.IsConnected());
}

TEST(CountedReads, ResetErrorWithNothingBufferedRaisesTheSocketError) {
  MemoryConnection c;
  c.handler.FailReceive(Id_WSAECONNABORTED);
  try {
    c.client.ReadLine();
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorNumber, Id_WSAECONNABORTED);
  }
  EXPECT_FALSE(c.client.IsConnected());
}

TEST(CountedReads, OtherReceiveErrorRaisesAndLeavesTheSocketOpen) {
  MemoryConnection c;
  c.handler.FailReceive(Id_WSAECONNRESET);
  try {
    c.client.ReadLine();
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  EXPECT_TRUE(c.handler.HasSocket());
}

// ---- work events --------------------------------------------------------------------------------

TEST(WorkEvents, BodyPartlyBufferedReportsBeginBufferedPartTotalAndEnd) {
  MemoryConnection c;
  WorkLog log;
  log.Attach(c.client);
  c.handler.AddInput("Content-Length: 1000\n" + std::string(200, 'a'));
  c.handler.AddInput(std::string(300, 'b'));
  c.handler.AddInput(std::string(500, 'c'));
  EXPECT_EQ(c.client.ReadLine(), "Content-Length: 1000");
  EXPECT_TRUE(log.events.empty()) << "lines outside a span report nothing";
  TMemoryStream body;
  c.client.ReadIntoStream(body, 1000);
  EXPECT_EQ(log.events, (Events{"rbegin 1000", "r200", "r1000", "rend"}));
  EXPECT_EQ(body.Size(), 1000);
}

TEST(WorkEvents, LargeBodyReportsAfterEvery32768Bytes) {
  MemoryConnection c;
  WorkLog log;
  log.Attach(c.client);
  std::string body(70000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  for (size_t at = 0; at < body.size(); at += 5000) c.handler.AddInput(body.substr(at, 5000));
  TMemoryStream out;
  c.client.ReadIntoStream(out, 70000);
  EXPECT_EQ(log.events, (Events{"rbegin 70000", "r32768", "r65536", "r70000", "rend"}));
  EXPECT_EQ(out.DataString(), body);
}

TEST(WorkEvents, NestedSpanFiresNothingAndAdvancesOutsideReportNothing) {
  TIdComponent c;
  WorkLog log;
  log.Attach(c);
  c.WorkAdvance(wmRead, 5);
  c.WorkBegin(wmRead, 10);
  c.WorkBegin(wmRead, 99);
  c.WorkAdvance(wmRead, 4);
  c.WorkEnd(wmRead);
  c.WorkAdvance(wmRead, 6);
  c.WorkEnd(wmRead);
  c.WorkEnd(wmRead);  // unmatched: ignored
  c.WorkBegin(wmWrite, 1);
  c.WorkEnd(wmWrite);
  EXPECT_EQ(log.events, (Events{"rbegin 10", "r4", "r10", "rend", "wbegin 1", "wend"}));
}

TEST(WorkEvents, SpanClosesWhenTheReadFailsAndWhenTheEndHandlerRaises) {
  MemoryConnection c;
  WorkLog log;
  log.Attach(c.client);
  c.handler.ClosePeer();
  TMemoryStream body;
  EXPECT_THROW(c.client.ReadIntoStream(body, 10), EIdConnClosedGracefully);
  EXPECT_EQ(log.events, (Events{"rbegin 10", "rend"}));
  EXPECT_EQ(c.client.WorkLevel(wmRead), 0);

  TIdComponent d;
  d.OnWorkEnd = [](TIdComponent*, TWorkMode) { throw EIdException("handler failed"); };
  d.WorkBegin(wmRead, 1);
  EXPECT_THROW(d.WorkEnd(wmRead), EIdException);
  EXPECT_EQ(d.WorkLevel(wmRead), 0);
}

// ---- over loopback ------------------------------------------------------------------------------

TEST(LoopbackReads, LinesAndACountedBodyArriveInOrderAndThePeerCloseIsNoticed) {
  std::string body(100000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
  LoopbackServer server([&](TIdSocketHandle& peer) {
    LoopbackServer::SendAll(peer, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    LoopbackServer::SendAll(peer, body);
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine(), "HTTP/1.1 200 OK");
  EXPECT_EQ(client.ReadLine(), "Content-Length: 100000");
  EXPECT_EQ(client.ReadLine(), "");
  TMemoryStream out;
  client.ReadIntoStream(out, 100000);
  EXPECT_TRUE(out.DataString() == body);
  server.Join();
  bool disconnected = false;
  client.OnDisconnected = [&](TIdComponent*) { disconnected = true; };
  client.PollPeerClosed(false);
  while (client.IsConnected()) client.PollPeerClosed(false);  // ends at the close the server made
  EXPECT_TRUE(disconnected);
  EXPECT_THROW(client.ReadLine(), EIdConnClosedGracefully);
}

TEST(LoopbackReads, EarlyCloseDuringACountedReadLeavesAnIncompletePieceBuffered) {
  LoopbackServer server([](TIdSocketHandle& peer) { LoopbackServer::SendAll(peer, "0123456789"); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  TMemoryStream out;
  EXPECT_THROW(client.ReadIntoStream(out, 50), EIdConnClosedGracefully);
  EXPECT_EQ(out.Size(), 0) << "the presized stream was not cut back";
  EXPECT_EQ(client.InputBuffer().ExtractBytes(10), "0123456789");
}
