// The GET exchange over an in-memory connection: exact request bytes, every kind of response,
// the work events, connection reuse, the limits against hostile servers.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "net/http/IdHTTP.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "verify_client/VerifyClient.h"

namespace {
const char kMirrorHead[] =
    "GET /brenlow/PV3.6ins.htm HTTP/1.1\r\n"
    "Content-Type: text/html\r\n"
    "Host: mirror.example\r\n"
    "Accept: text/html, */*\r\n"
    "User-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\n"
    "\r\n";
const char kMirrorUrl[] = "http://mirror.example/brenlow/PV3.6ins.htm";

std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

/// A verification client on an in-memory connection, recording its work events and connects.
struct Client {
  TIdHTTP http;
  TIdIOHandlerMemory wire;
  std::vector<std::string> events;
  int connects = 0;

  Client() {
    ConfigureVerifyClient(http);
    http.SetIOHandler(&wire);
    http.OnWorkBegin = [this](TIdComponent*, TWorkMode m, std::int64_t max) {
      events.push_back((m == wmRead ? "begin " : "begin-write ") + std::to_string(max));
    };
    http.OnWork = [this](TIdComponent*, TWorkMode, std::int64_t n) { events.push_back("work " + std::to_string(n)); };
    http.OnWorkEnd = [this](TIdComponent*, TWorkMode) { events.push_back("end"); };
    http.OnStatus = [this](TIdComponent*, TIdStatus s, const std::string&) {
      if (s == hsConnected) ++connects;
    };
  }
  ~Client() { http.SetIOHandler(nullptr); }
};

template <typename E>
E Failure(Client& c, const std::string& url) {
  try {
    c.http.FetchUrl(url);
  } catch (const E& e) {
    return e;
  }
  E none("", 0, "");
  ADD_FAILURE() << "no " << none.ClassName() << " for " << url;
  return none;
}
}  // namespace

// ---- the request as it goes on the wire ---------------------------------------------------

TEST(RequestHead, MirrorRequestIsFiveLinesAndTheEmptyLine) {
  Client c;
  c.wire.AddInput(Ok("x"));
  c.http.FetchUrl(kMirrorUrl);
  EXPECT_EQ(c.wire.Output(), kMirrorHead);
  EXPECT_EQ(c.wire.SendCount(), 1);  // the head leaves in one send
  EXPECT_EQ(c.wire.ConnectedHost(), "mirror.example");
  EXPECT_EQ(c.wire.ConnectedPort(), 80);
}

TEST(RequestHead, OtherPortsShowInHostAndPathsGoUnescaped) {
  Client c;
  c.wire.AddInput(Ok("x"));
  c.http.FetchUrl("http://h:8080/my dir/\xD6\xD0.htm?q=1 2#frag");
  EXPECT_EQ(c.wire.Output().substr(0, c.wire.Output().find("\r\n")), "GET /my dir/\xD6\xD0.htm?q=1 2 HTTP/1.1");
  EXPECT_NE(c.wire.Output().find("\r\nHost: h:8080\r\n"), std::string::npos);
  EXPECT_EQ(c.wire.ConnectedPort(), 8080);
}

TEST(RequestHead, AUrlWithoutPortGoesToTheDefaultPortNotThePreviousOne) {
  Client c;
  c.wire.AddInput(Ok("a", "Connection: close\r\n"));
  c.http.FetchUrl("http://first:8080/a");
  c.wire.AddInput(Ok("b"));
  c.http.FetchUrl("http://second/b");
  EXPECT_EQ(c.wire.ConnectedHost(), "second");
  EXPECT_EQ(c.wire.ConnectedPort(), 80);
  EXPECT_NE(c.wire.Output().find("\r\nHost: second\r\n"), std::string::npos);
}

TEST(RequestHead, AFragmentNeverGoesToTheServer) {
  Client c;
  c.wire.AddInput(Ok("a"));
  c.http.FetchUrl("http://mirror.example/dir/a.htm#part");
  c.wire.AddInput(Ok("b"));
  c.http.FetchUrl("b.htm#part");  // relative to the previous URL
  const std::string sent = c.wire.Output();
  EXPECT_EQ(sent.find('#'), std::string::npos) << sent;
  EXPECT_NE(sent.find("GET /dir/b.htm HTTP/1.1\r\n"), std::string::npos) << sent;
}

TEST(RequestHead, CookiesComeBackOnLaterRequestsOnly) {
  Client c;
  c.wire.AddInput(Ok("1", "Set-Cookie: sid=42; path=/\r\nSet-cookie: other=1; path=/; domain=.elsewhere.net\r\n"));
  c.http.FetchUrl("http://mirror.example/a");
  EXPECT_EQ(c.wire.TakeOutput().find("Cookie"), std::string::npos);
  c.wire.AddInput(Ok("2"));
  c.http.FetchUrl("http://mirror.example/b");
  const std::string second = c.wire.TakeOutput();
  EXPECT_NE(second.find("\r\nUser-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\nCookie: sid=42\r\n\r\n"),
            std::string::npos)
      << second;
}

TEST(RequestHead, BasicOfferedOnceMeansBasicOnEveryLaterRequest) {
  Client c;
  c.wire.AddInput("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"m\"\r\nContent-Length: 4\r\n\r\nnope");
  auto e = Failure<EIdHTTPProtocolException>(c, "http://mirror.example/a");
  EXPECT_EQ(e.ReplyCode, 401);
  EXPECT_EQ(e.ErrorBody, "nope");
  EXPECT_EQ(c.wire.TakeOutput().find("Authorization"), std::string::npos);
  for (const char* url : {"http://mirror.example/b", "http://other.example/c"}) {
    c.wire.AddInput(Ok("ok"));
    EXPECT_EQ(c.http.FetchUrl(url), "ok");
    const std::string head = c.wire.TakeOutput();
    EXPECT_NE(
        head.find("\r\nUser-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\nAuthorization: Basic Og==\r\n\r\n"),
        std::string::npos)
        << head;
  }
}

namespace {
const char kChallenge[] =
    "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"m\"\r\nContent-Length: 4\r\n\r\nnope";
const char kAnswer[] = "\r\nAuthorization: Basic am9lOnB3\r\n";  // joe:pw

/// Gives the user name and password when the server asks for them.
void AnswerChallenges(Client& c) {
  c.http.OnAuthorization = [](TIdCustomHTTP&, TIdAuthentication& auth, bool& handled) {
    auth.Username = "joe";
    auth.Password = "pw";
    handled = true;
  };
}
}  // namespace

TEST(Authorization, InProcessAuthorizationAnswersTheChallengeWithinTheCall) {
  Client c;
  AnswerChallenges(c);
  c.http.HTTPOptions |= hoInProcessAuth;
  c.wire.AddInput(kChallenge);
  c.wire.AddInput(Ok("ok"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "ok");
  const std::string sent = c.wire.Output();
  const std::size_t second = sent.find("GET ", 1);
  ASSERT_NE(second, std::string::npos) << sent;
  EXPECT_NE(sent.find(kAnswer, second), std::string::npos) << sent;
  EXPECT_EQ(sent.find(kAnswer), sent.find(kAnswer, second));  // the first request went without
  EXPECT_EQ(c.connects, 1);
}

TEST(Authorization, WithoutInProcessAuthorizationTheChallengeIsTheResponse) {
  Client c;
  AnswerChallenges(c);
  c.wire.AddInput(kChallenge);
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "nope");
  EXPECT_EQ(c.http.ResponseCode(), 401);
  EXPECT_EQ(c.wire.TakeOutput().find(kAnswer), std::string::npos);
  // The caller's next request carries the credentials.
  c.wire.AddInput(Ok("ok"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "ok");
  EXPECT_NE(c.wire.TakeOutput().find(kAnswer), std::string::npos);
}

TEST(RequestHead, EveryMethodHasItsWordOnTheRequestLine) {
  Client c;
  c.wire.AddInput("HTTP/1.1 204 No Content\r\n\r\n");
  c.http.PerformRequest(hmDelete, "http://mirror.example/old.htm", nullptr, nullptr);
  EXPECT_EQ(c.wire.Output().substr(0, c.wire.Output().find("\r\n")), "DELETE /old.htm HTTP/1.1");
  EXPECT_EQ(MethodWord(hmDelete), "DELETE ");
}

TEST(RequestHead, HttpsStartsTlsWithTheHostBeforeTheRequestAndOtherSchemesAreRefused) {
  Client c;
  c.wire.AddInput(Ok("abc"));
  EXPECT_EQ(c.http.FetchUrl("https://mirror.example/a"), "abc");
  EXPECT_EQ(c.wire.TlsHosts(), std::vector<std::string>{"mirror.example"});
  // The default port of https is not named in the Host line.
  EXPECT_NE(c.wire.Output().find("\r\nHost: mirror.example\r\n"), std::string::npos) << c.wire.Output();
  c.wire.TakeOutput();
  EXPECT_THROW(c.http.FetchUrl("ftp://mirror.example/a"), EIdUnknownProtocol);
  EXPECT_THROW(c.http.FetchUrl("http://mirror.example:8o/a"), EConvertError);
  EXPECT_THROW(c.http.FetchUrl("http://mirror.example:65616/a"), EConvertError);  // not port 80
  EXPECT_EQ(c.wire.Output(), "");
}

// ---- responses ----------------------------------------------------------------------------

TEST(ResponseBody, ByLengthWithOneWorkBracket) {
  Client c;
  c.wire.AddInput(Ok("abcde"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "abcde");
  EXPECT_EQ(c.events, (std::vector<std::string>{"begin 5", "work 5", "end"}));
}

TEST(ResponseBody, ChunkedWithOneBracketPerChunk) {
  Client c;
  c.wire.AddInput("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n");
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "Wikipedia");
  EXPECT_EQ(c.events, (std::vector<std::string>{"begin 4", "work 4", "end", "begin 5", "work 5", "end"}));
}

TEST(ResponseBody, ChunkExtensionsAndTrailersKeepTheConnectionInStep) {
  Client c;
  c.wire.AddInput(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "4;name=x\r\nWiki\r\n5 ; y\r\npedia\r\n0\r\nX-Trailer: 1\r\nX-Other: 2\r\n\r\n" +
      Ok("next"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "Wikipedia");
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "next");
  EXPECT_EQ(c.connects, 1);
}

namespace {
std::string Chunked(const std::string& chunks) {
  return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}
const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz";
}  // namespace

TEST(ResponseBody, ChunkSizesInEitherCaseOfHex) {
  for (const char* size : {"1A", "1a"}) {
    Client c;
    c.wire.AddInput(Chunked(std::string(size) + "\r\n" + kAlphabet + "\r\n0\r\n\r\n"));
    EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), kAlphabet) << size;
  }
}

// A broken chunked body fails the exchange instead of handing back what came before the break
// as if it were the whole reply.
TEST(ResponseBody, BrokenChunkFramingFailsTheExchange) {
  struct Case {
    const char* what;
    std::string body;
    const char* message;
  };
  const Case cases[] = {
      {"size not hex", "4\r\nWiki\r\nxyz\r\npedia\r\n0\r\n\r\n", "Chunk size is not a hexadecimal number"},
      {"hex then junk", "4\r\nWiki\r\n5g\r\npedia\r\n0\r\n\r\n", "Chunk size is not a hexadecimal number"},
      {"size line empty", "4\r\nWiki\r\n\r\npedia\r\n0\r\n\r\n", "Chunk size is not a hexadecimal number"},
      {"data past its size", "4\r\nWikipedia\r\n0\r\n\r\n", "Chunk data longer than its size"},
  };
  for (const Case& k : cases) {
    Client c;
    c.wire.AddInput(Chunked(k.body) + Ok("next"));
    try {
      c.http.FetchUrl(kMirrorUrl);
      ADD_FAILURE() << k.what << ": the exchange succeeded";
    } catch (const EIdHTTPMalformedChunk& e) {
      EXPECT_EQ(e.Message(), k.message) << k.what;
    }
    EXPECT_FALSE(c.http.IsConnected()) << k.what;  // the rest of the stream is out of step
  }
}

// A body framed two ways ends where a reader chooses to believe: no answer, never a verdict,
// and the connection is not used again. Lengths that agree are one framing.
TEST(ResponseBody, TwoFramingsAreNoAnswer) {
  struct Case {
    const char* what;
    std::string response;
    bool answer;
  };
  const Case cases[] = {
      {"length and chunked",
       "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n"
       "4\r\nWiki\r\n0\r\n\r\n",
       false},
      {"chunked, then length",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 9\r\n\r\n"
       "4\r\nWiki\r\n0\r\n\r\n",
       false},
      {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 9\r\n\r\nWikipedia", false},
      {"a list that differs", "HTTP/1.1 200 OK\r\nContent-Length: 4, 9\r\n\r\nWikipedia", false},
      {"an error status too", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\nContent-Length: 3\r\n\r\nnope", false},
      {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\ncontent-length:  4\r\n\r\nWiki", true},
  };
  for (const Case& k : cases) {
    Client c;
    c.wire.AddInput(k.response);
    try {
      EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "Wiki") << k.what;
      EXPECT_TRUE(k.answer) << k.what << ": taken as an answer";
    } catch (const EIdHTTPMalformedFraming&) {
      EXPECT_FALSE(k.answer) << k.what << ": refused";
      EXPECT_FALSE(c.http.IsConnected()) << k.what;
    }
  }
}

TEST(ResponseBody, UntilCloseOpensWithMaximumZero) {
  Client c;
  c.wire.AddInput("HTTP/1.1 200 OK\r\n\r\nfirst ");
  c.wire.AddInput("second");
  c.wire.ClosePeer();
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "first second");
  ASSERT_FALSE(c.events.empty());
  EXPECT_EQ(c.events.front(), "begin 0");
  EXPECT_EQ(c.events.back(), "end");
  EXPECT_FALSE(c.http.IsConnected());
}

TEST(ResponseBody, EmptyBodiesRaiseNoWorkEvents) {
  Client c;
  c.wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "");
  c.wire.AddInput("HTTP/1.1 204 No Content\r\n\r\n");
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "");
  EXPECT_TRUE(c.events.empty());
  EXPECT_EQ(c.connects, 1);  // and the connection stayed in step
}

TEST(ResponseBody, InterimContinueIsSkipped) {
  Client c;
  c.wire.AddInput("HTTP/1.1 100 Continue\r\n\r\n" + Ok("real"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "real");
  EXPECT_EQ(c.http.ResponseCode(), 200);
}

TEST(ResponseBody, ALengthCutShortFailsInsteadOfReturningPart) {
  Client c;
  c.wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd");
  c.wire.ClosePeer();
  EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdConnClosedGracefully);
}

TEST(ResponseBody, ExpiresInDaysAndOddContentRangeDoNotFailAGoodResponse) {
  Client c;
  c.wire.AddInput(Ok("fine", "Expires: 604800\r\nContent-Range: bytes x-y/z\r\n"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "fine");
}

// ---- statuses that fail --------------------------------------------------------------------

TEST(ResponseStatus, RedirectsAreNotFollowed) {
  Client c;
  c.wire.AddInput("HTTP/1.1 302 Found\r\nLocation: http://elsewhere/\r\nContent-Length: 3\r\n\r\nabc");
  auto e = Failure<EIdHTTPProtocolException>(c, kMirrorUrl);
  EXPECT_EQ(e.Message(), "HTTP/1.1 302 Found");
  EXPECT_EQ(e.ReplyCode, 302);
  c.wire.AddInput(Ok("body", "Location: /x\r\n"));
  EXPECT_EQ(Failure<EIdHTTPProtocolException>(c, kMirrorUrl).Message(), "HTTP/1.1 200 OK");
  EXPECT_EQ(c.connects, 1);  // both bodies were dropped in step
}

TEST(ResponseStatus, NotFoundCarriesCodeAndBody) {
  Client c;
  c.wire.AddInput("HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\n\r\nmissing");
  auto e = Failure<EIdHTTPProtocolException>(c, kMirrorUrl);
  EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(e.ErrorBody, "missing");
  EXPECT_STREQ(e.ClassName(), "EIdHTTPProtocolException");
  const EIdProtocolReplyError& reply = e;  // the code belongs to every protocol reply error
  EXPECT_EQ(reply.ReplyCode, 404);
}

TEST(ResponseStatus, StatusLineWithoutNumber) {
  Client c;
  c.wire.AddInput("HTTP/1.1 OK\r\nContent-Length: 0\r\n\r\n");
  auto e = Failure<EIdHTTPProtocolException>(c, kMirrorUrl);
  EXPECT_EQ(e.ReplyCode, -1);
  EXPECT_EQ(e.Message(), "HTTP/1.1 OK");
}

TEST(ResponseStatus, NotModifiedFailsWithoutWaitingForABody) {
  Client c;
  c.wire.AddInput("HTTP/1.1 304 Not Modified\r\n\r\n" + Ok("after"));
  EXPECT_EQ(Failure<EIdHTTPProtocolException>(c, kMirrorUrl).ReplyCode, 304);
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "after");
}

TEST(ResponseStatus, PeerClosingEarly) {
  Client c;
  c.wire.ClosePeer();
  EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdConnClosedGracefully);
  Client d;
  d.wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n");
  d.wire.ClosePeer();
  try {
    d.http.FetchUrl(kMirrorUrl);
    FAIL();
  } catch (const EIdException& e) {
    EXPECT_EQ(e.Message(), "Undefined situation");
  }
}

// ---- the connection between requests ---------------------------------------------------------

TEST(KeepAlive, ReusedUnlessTheServerSaysClose) {
  Client c;
  c.wire.AddInput(Ok("1"));
  c.http.FetchUrl(kMirrorUrl);
  c.wire.AddInput(Ok("2", "Connection: close\r\n"));
  c.http.FetchUrl(kMirrorUrl);
  EXPECT_EQ(c.connects, 1);
  EXPECT_FALSE(c.http.IsConnected());
  c.wire.AddInput(Ok("3"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "3");
  EXPECT_EQ(c.connects, 2);
}

TEST(KeepAlive, AnotherHostGetsANewConnection) {
  Client c;
  c.wire.AddInput(Ok("1"));
  c.http.FetchUrl("http://a.example/x");
  c.wire.AddInput(Ok("2"));
  c.http.FetchUrl("http://b.example/x");
  EXPECT_EQ(c.connects, 2);
  EXPECT_EQ(c.wire.ConnectedHost(), "b.example");
}

TEST(KeepAlive, TheClientsVersionDecidesNotTheResponses) {
  Client c;  // HTTP/1.1: kept unless the server says close
  c.wire.AddInput("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n1");
  c.http.FetchUrl(kMirrorUrl);
  EXPECT_EQ(c.http.Response().StatusVersion(), pv1_0);  // noted, not acted on
  c.wire.AddInput(Ok("2"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "2");
  EXPECT_EQ(c.connects, 1);

  Client old;  // HTTP/1.0: kept only when the server says keep-alive
  old.http.ProtocolVersion = pv1_0;
  old.wire.AddInput(Ok("1"));
  old.http.FetchUrl(kMirrorUrl);
  EXPECT_FALSE(old.http.IsConnected());
  old.wire.AddInput(Ok("2", "Connection: Keep-Alive\r\n"));
  old.http.FetchUrl(kMirrorUrl);
  EXPECT_TRUE(old.http.IsConnected());
  EXPECT_EQ(old.connects, 2);
  EXPECT_NE(old.wire.Output().find("GET /brenlow/PV3.6ins.htm HTTP/1.0\r\nConnection: keep-alive\r\n"),
            std::string::npos);
}

TEST(KeepAlive, AServerThatClosedAfterItsResponseIsNoticedBeforeTheNextRequest) {
  Client c;
  c.wire.AddInput("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n1");
  c.wire.ClosePeer();
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "1");
  // The server of the next connection answers once it is made.
  c.http.OnStatus = [&c](TIdComponent*, TIdStatus s, const std::string&) {
    if (s == hsConnected && ++c.connects == 2) c.wire.AddInput(Ok("2"));
  };
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "2");
  EXPECT_EQ(c.connects, 2);
  // Nothing was written to the closed connection.
  const std::string sent = c.wire.Output();
  EXPECT_EQ(sent, std::string(kMirrorHead) + kMirrorHead);
}

// ---- limits against hostile servers ------------------------------------------------------------

namespace {
std::string HeadWithLines(int n, std::size_t lineLength = 10) {
  std::string s = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < n - 1; ++i) s += "X-" + std::to_string(i) + ": " + std::string(lineLength, 'v') + "\r\n";
  return s + "Content-Length: 2\r\n\r\nok";
}
}  // namespace

TEST(Limits, HeaderLineCount) {
  Client c;
  c.wire.AddInput(HeadWithLines(100));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "ok");
  c.wire.AddInput(HeadWithLines(101));
  EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdHTTPLimitExceeded);
  EXPECT_FALSE(c.http.IsConnected());  // the rest of that response is never read
}

TEST(Limits, HeaderBlockBytes) {
  Client c;
  c.wire.AddInput(HeadWithLines(6, 16000));  // each line within the line limit, 80 KB in all
  try {
    c.http.FetchUrl(kMirrorUrl);
    FAIL();
  } catch (const EIdHTTPLimitExceeded& e) {
    EXPECT_EQ(e.Message(), "Response header block too large");
  }
  Client d;
  d.wire.AddInput("HTTP/1.1 200 OK\r\nX: " + std::string(17000, 'v') + "\r\n\r\n");
  EXPECT_THROW(d.http.FetchUrl(kMirrorUrl), EIdReadLnMaxLineLengthExceeded);
}

TEST(Limits, ChunkSizesBeyond31Bits) {
  for (const char* size : {"80000000", "fffffffffffffffffffff"}) {
    Client c;
    c.wire.AddInput(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + size + "\r\nabc");
    try {
      c.http.FetchUrl(kMirrorUrl);
      FAIL() << size;
    } catch (const EIdHTTPLimitExceeded& e) {
      EXPECT_EQ(e.Message(), "Chunk size too large");
    }
  }
}

TEST(Limits, BodyLimitEndsEveryKindOfBody) {
  const std::string big(kVerifyMaxBodySize + 1, 'b');
  {
    Client c;  // by length: refused before a byte of the body is read
    c.wire.AddInput("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n");
    EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdHTTPLimitExceeded);
    EXPECT_TRUE(c.events.empty());
  }
  {
    Client c;  // until close
    c.wire.AddInput("HTTP/1.1 200 OK\r\n\r\n" + big);
    c.wire.ClosePeer();
    EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdHTTPLimitExceeded);
    EXPECT_EQ(c.events.back(), "end");
  }
  {
    Client c;  // chunks that are each small but add up
    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 20; ++i) chunked += "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
    c.wire.AddInput(chunked + "0\r\n\r\n");
    EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdHTTPLimitExceeded);
    EXPECT_FALSE(c.http.IsConnected());
  }
  {
    Client c;  // exactly the limit is fine
    c.wire.AddInput(Ok(std::string(kVerifyMaxBodySize, 'e')));
    EXPECT_EQ(c.http.FetchUrl(kMirrorUrl).size(), static_cast<std::size_t>(kVerifyMaxBodySize));
  }
}

TEST(Limits, EndlessInterimResponsesEnd) {
  Client c;
  std::string flood;
  for (int i = 0; i < 150; ++i) flood += "HTTP/1.1 100 Continue\r\n\r\n";
  c.wire.AddInput(flood + Ok("never"));
  EXPECT_THROW(c.http.FetchUrl(kMirrorUrl), EIdHTTPLimitExceeded);
}

// ---- through a proxy -----------------------------------------------------------------------

namespace {
const char kEstablished[] = "HTTP/1.1 200 Connection established\r\n\r\n";

/// A client whose route is the proxy proxy.corp:3128.
struct ProxiedClient : Client {
  ProxiedClient() {
    http.ProxyParams.ProxyServer = "proxy.corp";
    http.ProxyParams.ProxyPort = 3128;
  }
};

/// The system's sign-in as a recorded exchange: the token for each challenge's token.
std::unique_ptr<TIdAuthentication> RecordedSignIn(const std::string& scheme,
                                                  std::map<std::string, std::string> answers) {
  return std::make_unique<TIdSSPIAuthentication>(scheme, [answers] {
    return [answers](const std::string& in, std::string& out, std::string& error) {
      const auto it = answers.find(in);
      if (it == answers.end()) {
        error = "unexpected token \"" + in + "\"";
        return false;
      }
      out = it->second;
      return true;
    };
  });
}
}  // namespace

TEST(Proxy, HttpGoesAsAnAbsoluteUriAndHttpsThroughATunnel) {
  ProxiedClient c;
  c.wire.AddInput(Ok("plain"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "plain");
  EXPECT_EQ(c.wire.ConnectedHost() + ":" + std::to_string(c.wire.ConnectedPort()), "proxy.corp:3128");
  EXPECT_EQ(c.wire.TakeOutput(), std::string(kMirrorHead).replace(4, 0, "http://mirror.example:80"));

  c.wire.AddInput(kEstablished);
  c.wire.AddInput(Ok("secret"));
  EXPECT_EQ(c.http.FetchUrl("https://mirror.example/brenlow/PV3.6ins.htm"), "secret");
  const std::string sent = c.wire.TakeOutput();
  EXPECT_EQ(sent.substr(0, sent.find("\r\n\r\n") + 4),
            "CONNECT mirror.example:443 HTTP/1.1\r\nHost: mirror.example:443\r\n"
            "User-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\n\r\n");
  // Inside the tunnel the server gets its own request form, after TLS was started with its name.
  EXPECT_EQ(sent.find("GET /brenlow/PV3.6ins.htm HTTP/1.1\r\n"), sent.find("\r\n\r\n") + 4);
  EXPECT_EQ(c.wire.TlsHosts(), std::vector<std::string>{"mirror.example"});
  EXPECT_EQ(c.connects, 2);  // a tunnel is a connection of its own

  // The kept tunnel serves its server again; another server needs a tunnel of its own.
  c.wire.AddInput(Ok("again"));
  EXPECT_EQ(c.http.FetchUrl("https://mirror.example/brenlow/PV3.6ins.htm"), "again");
  EXPECT_EQ(c.wire.TakeOutput().find("CONNECT"), std::string::npos);
  c.wire.AddInput("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
  const auto e = Failure<EIdHTTPProtocolException>(c, "https://other.example:8443/a");
  EXPECT_EQ(e.ReplyCode, 502);
  EXPECT_EQ(c.wire.TakeOutput().rfind("CONNECT other.example:8443 HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(c.wire.TlsHosts().size(), 1u);  // no TLS over a refused tunnel
}

TEST(Proxy, AKeptTunnelToAnIpv6AddressServesItAgain) {
  ProxiedClient c;
  c.wire.AddInput(kEstablished);
  c.wire.AddInput(Ok("one"));
  EXPECT_EQ(c.http.FetchUrl("https://[2001:db8::7]:8443/a"), "one");
  EXPECT_EQ(c.wire.TakeOutput().rfind("CONNECT [2001:db8::7]:8443 HTTP/1.1\r\nHost: [2001:db8::7]:8443\r\n", 0), 0u);
  c.wire.AddInput(Ok("two"));
  EXPECT_EQ(c.http.FetchUrl("https://[2001:db8::7]:8443/a"), "two");
  EXPECT_EQ(c.wire.TakeOutput().find("CONNECT"), std::string::npos);
  EXPECT_EQ(c.connects, 1);
}

TEST(Proxy, NegotiateIsAnsweredWithTheUsersOwnSignInAndNeverLeavesTheProxy) {
  ProxiedClient c;
  std::vector<std::string> signIns;
  c.http.ProxySignIn = [&](const std::string& scheme, const std::string& proxy) {
    signIns.push_back(scheme + " " + proxy);
    return RecordedSignIn(scheme, {{"", "t1"}, {"c1", "t2"}});
  };
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"corp\"\r\n"
      "Proxy-Authenticate: NTLM\r\nProxy-Authenticate: Negotiate\r\nContent-Length: 3\r\n\r\nno!");
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Negotiate YzE=\r\n"
      "Content-Length: 0\r\n\r\n");
  c.wire.AddInput(kEstablished);
  c.wire.AddInput(Ok("signed in"));
  EXPECT_EQ(c.http.FetchUrl("https://mirror.example/a"), "signed in");
  EXPECT_EQ(signIns, std::vector<std::string>{"Negotiate proxy.corp"});  // the strongest scheme offered
  const std::string sent = c.wire.Output();
  const std::size_t first = sent.find("Proxy-Authorization: Negotiate dDE=\r\n");   // "t1"
  const std::size_t second = sent.find("Proxy-Authorization: Negotiate dDI=\r\n");  // "t2"
  ASSERT_NE(first, std::string::npos) << sent;
  ASSERT_NE(second, std::string::npos) << sent;
  EXPECT_LT(first, second);
  EXPECT_LT(second, sent.find("GET /a"));
  // The server in the tunnel never sees the proxy's sign-in; no Basic ever went out.
  EXPECT_EQ(sent.find("Proxy-Authorization", sent.find("GET /a")), std::string::npos);
  EXPECT_EQ(sent.find("Basic"), std::string::npos);
  EXPECT_EQ(c.connects, 1);
}

TEST(Proxy, APasswordInClearTextIsNeverSentAndARefusedSignInSaysWhy) {
  ProxiedClient c;
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"corp\"\r\n"
      "Content-Length: 0\r\n\r\n");
  const auto basic = Failure<EIdProxyAuthenticationRefused>(c, kMirrorUrl);
  EXPECT_EQ(basic.ReplyCode, 407);
  EXPECT_EQ(basic.Message(),
            "HTTP/1.1 407 Proxy Authentication Required (the proxy asks for a password in clear text (Basic); "
            "none is sent to a proxy)");
  c.wire.AddInput(Ok("ok"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "ok");
  EXPECT_EQ(c.wire.TakeOutput().find("Proxy-Authorization"), std::string::npos);

  // A system that cannot sign the user in (no SSPI natively) refuses with its reason.
  c.http.ProxySignIn = [](const std::string& scheme, const std::string&) {
    return std::make_unique<TIdSSPIAuthentication>(scheme, [] {
      return [](const std::string&, std::string&, std::string& error) {
        error = "no SSPI here";
        return false;
      };
    });
  };
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(Failure<EIdProxyAuthenticationRefused>(c, kMirrorUrl).Message(),
            "HTTP/1.1 407 Proxy Authentication Required (no SSPI here)");
}

TEST(Proxy, TheVerificationTriesTheRoutesInOrderAndLogsEach) {
  testfiles::TempDir dir;
  OpenRunLog(dir.Path());
  auto closeLog = OnScopeExit([] { CloseRunLog(); });
  Client c;
  platform::ProxyRoutes routes;
  routes.routes = {{"dead.proxy", 8080}, {}};
  routes.source = platform::ProxySource::PacScript;
  routes.detail = "http://pac.corp/p.pac";
  c.wire.AddInput("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  c.wire.AddInput(Ok("reply"));
  EXPECT_EQ(FetchReplyLogged(c.http, kMirrorUrl, routes), "reply");
  const std::string sent = c.wire.Output();
  EXPECT_EQ(sent.rfind("GET http://mirror.example:80/brenlow/PV3.6ins.htm HTTP/1.1\r\n", 0), 0u) << sent;
  EXPECT_NE(sent.find("\r\n\r\n" + std::string(kMirrorHead)), std::string::npos) << sent;
  const std::string log = testfiles::ReadFile(RunLogPath());
  const std::size_t viaProxy = log.find("route: proxy dead.proxy:8080 (PAC script http://pac.corp/p.pac, 1 of 2)");
  const std::size_t refused = log.find("no answer: EIdHTTPProtocolException: HTTP/1.1 502 Bad Gateway (status 502)");
  const std::size_t direct = log.find("route: direct (PAC script http://pac.corp/p.pac, 2 of 2)");
  const std::size_t answered = log.find("answered: status 200, 5 bytes");
  EXPECT_LT(viaProxy, refused) << log;
  EXPECT_LT(refused, direct) << log;
  EXPECT_LT(direct, answered) << log;
  EXPECT_NE(answered, std::string::npos) << log;
}

TEST(Proxy, ASignInGoesOnlyWithTheRequestAfterItsChallenge) {
  ProxiedClient c;
  c.http.ProxySignIn = [](const std::string& scheme, const std::string&) {
    return RecordedSignIn(scheme, {{"", "t1"}, {"c1", "t2"}});
  };
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\nContent-Length: 0\r\n\r\n");
  c.wire.AddInput(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM YzE=\r\nContent-Length: 0\r\n\r\n");
  c.wire.AddInput(Ok("one"));
  EXPECT_EQ(c.http.FetchUrl(kMirrorUrl), "one");
  EXPECT_NE(c.wire.TakeOutput().find("Proxy-Authorization: NTLM dDI=\r\n"), std::string::npos);
  // The connection is signed in: the next request goes without a token.
  c.wire.AddInput(Ok("two"));
  EXPECT_EQ(c.http.FetchUrl("http://other.example/x"), "two");
  EXPECT_EQ(c.wire.TakeOutput().find("Proxy-Authorization"), std::string::npos);
  EXPECT_EQ(c.connects, 1);
}
