// The total time limit of one request: a server that keeps sending a little within every read
// time limit must still not hold the client longer than the limit. Time is a scripted clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "net/http/IdHTTP.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "verify_client/VerifyClient.h"

namespace {

const char kUrl[] = "http://127.0.0.11:8080/brenlow/QORTQ3.6ins.htm";

/// A verification client on an in-memory connection whose clock moves `step` ms on every look.
struct TimedClient {
  TIdHTTP http;
  TIdIOHandlerMemory wire;
  std::uint32_t now = 0;
  std::uint32_t step = 0;

  explicit TimedClient(std::uint32_t start = 0) : now(start) {
    ConfigureVerifyClient(http);
    http.SetIOHandler(&wire);
    http.TickSource = [this] {
      const std::uint32_t t = now;
      now += step;
      return t;
    };
  }
  ~TimedClient() { http.SetIOHandler(nullptr); }

  /// A 200 head announcing `length` bytes, then the body one byte per arrival.
  void TrickleBody(int length) {
    wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n");
    for (int i = 0; i < length; ++i) wire.AddInput("x");
  }
};

}  // namespace

TEST(RequestTimeLimit, TheVerificationClientGivesEachRequestThirtySeconds) {
  TIdHTTP http;
  ConfigureVerifyClient(http);
  EXPECT_EQ(http.RequestTimeLimit, 30000);
  EXPECT_EQ(http.ReadTimeout, 10000);
}

TEST(RequestTimeLimit, ABodyTricklingOneByteASecondIsCutOffAtTheLimit) {
  TimedClient c;
  c.step = 1000;
  c.TrickleBody(100);
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
  // Cut off near thirty arrivals, long before the hundred the server would send.
  EXPECT_LT(c.wire.ReceiveCount(), 40);
  EXPECT_GT(c.wire.ReceiveCount(), 20);
  // The connection is not kept half read.
  EXPECT_FALSE(c.wire.HasSocket());
}

TEST(RequestTimeLimit, TheSameTrickleWithinTheLimitIsReadWhole) {
  TimedClient c;
  c.step = 100;  // a hundred arrivals take about ten seconds
  c.TrickleBody(100);
  EXPECT_EQ(c.http.FetchUrl(kUrl), std::string(100, 'x'));
}

TEST(RequestTimeLimit, HeaderLinesTricklingInAreCutOffToo) {
  TimedClient c;
  c.step = 1000;
  c.wire.AddInput("HTTP/1.1 200 OK\r\n");
  // Forty lines at a second each, then a complete end: only the total limit stops this.
  for (int i = 0; i < 40; ++i) c.wire.AddInput("X-Slow: " + std::to_string(i) + "\r\n");
  c.wire.AddInput("Content-Length: 2\r\n\r\nok");
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
}

TEST(RequestTimeLimit, ABodyOfSmallChunksThatCameAtOnceIsCutOffToo) {
  TimedClient c;
  c.step = 1000;
  // One arrival holds a hundred one-byte chunks: reading them takes no refill of the buffer,
  // and still each chunk is a read of the request that the limit ends.
  std::string chunks;
  for (int i = 0; i < 100; ++i) chunks += "1\r\nx\r\n";
  c.wire.AddInput("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n");
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
}

TEST(RequestTimeLimit, EachRequestStartsItsOwnClock) {
  TimedClient c;
  c.step = 1000;
  c.TrickleBody(100);
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
  // The next request, long after the first began, gets its full time again.
  TIdIOHandlerMemory fresh;
  c.http.SetIOHandler(&fresh);
  c.step = 100;
  fresh.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
  for (char ch : std::string("abcde")) fresh.AddInput(std::string(1, ch));
  EXPECT_EQ(c.http.FetchUrl(kUrl), "abcde");
  c.http.SetIOHandler(&c.wire);
}

TEST(RequestTimeLimit, AClockThatWrapsAroundDuringTheRequestIsNoTimeout) {
  TimedClient c(0xFFFFFFFFu - 500);  // the tick count wraps half a second in
  c.step = 100;
  c.TrickleBody(50);
  EXPECT_EQ(c.http.FetchUrl(kUrl), std::string(50, 'x'));
}

TEST(RequestTimeLimit, WithoutALimitTheTrickleIsReadWhole) {
  TimedClient c;
  c.http.RequestTimeLimit = 0;
  c.step = 1000;
  c.TrickleBody(100);
  EXPECT_EQ(c.http.FetchUrl(kUrl), std::string(100, 'x'));
}

// ---- each wait within the time left ---------------------------------------------------------
// The connection's own clock: waits take the time they would take, so the limit each wait is
// given shows whether it was cut to what the request has left.

namespace {
struct ClockedClient {
  TIdHTTP http;
  TIdIOHandlerMemory wire;

  ClockedClient() {
    ConfigureVerifyClient(http);  // 10 s for each read, 30 s for the request
    http.SetIOHandler(&wire);
    http.TickSource = [this] { return wire.Clock(); };
  }
  ~ClockedClient() { http.SetIOHandler(nullptr); }

  /// The head at once, then a body byte every 9 s, each within the read time limit.
  void BodyEveryNineSeconds() {
    wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n");
    for (std::uint32_t i = 1; i <= 9; ++i) wire.AddInputAt(9000 * i, "x");
  }
};
}  // namespace

TEST(RequestTimeLimit, TheLastWaitGetsOnlyWhatIsLeft) {
  ClockedClient c;
  c.BodyEveryNineSeconds();
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
  // The head at 0 s, bytes at 9, 18 and 27 s; then 3 s are left, and the request ends at
  // 30 s instead of reading the byte of 36 s.
  EXPECT_EQ(c.wire.WaitLimits(), (std::vector<int>{10000, 10000, 10000, 10000, 3000}));
  EXPECT_EQ(c.wire.Clock(), 30000u);
}

TEST(RequestTimeLimit, ReadsWithoutTheirOwnLimitWaitForWhatIsLeft) {
  ClockedClient c;
  c.http.ReadTimeout = 0;
  c.BodyEveryNineSeconds();
  EXPECT_THROW(c.http.FetchUrl(kUrl), EIdReadTimeout);
  EXPECT_EQ(c.wire.WaitLimits(), (std::vector<int>{30000, 30000, 21000, 12000, 3000}));
  EXPECT_EQ(c.wire.Clock(), 30000u);
}

// ---- what the run's log says of it ---------------------------------------------------------
// Support reads why a mirror gave no answer in the run's log: the limit that cut the exchange
// off (the request's 30 s in all, or 10 s of silence on one read), and a failing status the
// server sent, even when its body never ends.

TEST(RequestTimeLimit, TheRunsLogNamesTheLimitThatEndedTheExchangeAndKeepsTheStatus) {
  testfiles::TempDir dir;
  OpenRunLog(dir.Path());
  auto closeLog = OnScopeExit([] { CloseRunLog(); });
  auto lastLine = [] {
    const std::string log = testfiles::ReadFile(RunLogPath());
    const std::size_t end = log.rfind("\r\n");
    return log.substr(log.rfind("\r\n", end - 1) + 2, end - log.rfind("\r\n", end - 1) - 2);
  };
  {
    ClockedClient trickle;
    trickle.BodyEveryNineSeconds();
    EXPECT_THROW(FetchReplyLogged(trickle.http, kUrl), EIdReadTimeout);
    EXPECT_NE(lastLine().find("no answer: EIdReadTimeout: Read Timeout: the request's total limit of 30000 ms passed;"),
              std::string::npos)
        << lastLine();
  }
  {
    ClockedClient silent;
    silent.wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n");
    EXPECT_THROW(FetchReplyLogged(silent.http, kUrl), EIdReadTimeout);
    EXPECT_NE(lastLine().find("no answer: EIdReadTimeout: Read Timeout;"), std::string::npos) << lastLine();
    EXPECT_EQ(silent.wire.Clock(), 10000u);
  }
  {
    // A 500 without a length on a kept connection: its body ends only when the server closes.
    ClockedClient endless;
    endless.wire.AddInput("HTTP/1.1 500 Internal Server Error\r\n\r\nbackend down");
    try {
      FetchReplyLogged(endless.http, kUrl);
      ADD_FAILURE() << "no failure";
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.ReplyCode, 500);
      EXPECT_EQ(e.ErrorBody, "backend down");
    }
    EXPECT_FALSE(endless.wire.HasSocket());  // the rest of the body is never read
    EXPECT_NE(lastLine().find("no answer: EIdHTTPProtocolException: HTTP/1.1 500 Internal Server Error (status 500);"),
              std::string::npos)
        << lastLine();
  }
}
