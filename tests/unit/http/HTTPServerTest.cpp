// The client against a scripted web server on 127.0.0.1: real sockets, real connects.
#include <gtest/gtest.h>

#include "ScriptedServer.h"
#include "net/http/IdHTTP.h"
#include "verify_client/VerifyClient.h"

namespace {
std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

using Script = std::vector<std::vector<std::string>>;

struct VerifyClient : TIdHTTP {
  VerifyClient() { ConfigureVerifyClient(*this); }
};
}  // namespace

TEST(LoopbackServer, KeptAliveConnectionCarriesTheNextRequest) {
  TScriptedServer server(Script{{Ok("first"), Ok("second")}});
  VerifyClient http;
  EXPECT_EQ(http.FetchUrl(server.Url("/brenlow/a.htm")), "first");
  EXPECT_EQ(http.FetchUrl(server.Url("/brenlow/b.htm")), "second");
  http.CloseConnection();
  EXPECT_EQ(server.Finish(), 1);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(
      requests[0],
      "GET /brenlow/a.htm HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
          "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\n\r\n");
}

TEST(LoopbackServer, ConnectionCloseMeansANewConnection) {
  TScriptedServer server(Script{{Ok("1", "Connection: close\r\n")}, {Ok("2")}});
  VerifyClient http;
  EXPECT_EQ(http.FetchUrl(server.Url("/x")), "1");
  EXPECT_EQ(http.FetchUrl(server.Url("/x")), "2");
  http.CloseConnection();
  EXPECT_EQ(server.Finish(), 2);
}

TEST(LoopbackServer, BodiesByChunksAndUntilClose) {
  TScriptedServer server(Script{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
                                 "HTTP/1.1 200 OK\r\n\r\nuntil the end"}});
  VerifyClient http;
  std::vector<std::int64_t> maxima;
  http.OnWorkBegin = [&](TIdComponent*, TWorkMode, std::int64_t max) { maxima.push_back(max); };
  EXPECT_EQ(http.FetchUrl(server.Url("/c")), "abc");
  EXPECT_EQ(http.FetchUrl(server.Url("/u")), "until the end");
  EXPECT_EQ(maxima, (std::vector<std::int64_t>{3, 0}));
  EXPECT_EQ(server.Finish(), 1);
}

TEST(LoopbackServer, CookieAndAuthorizationOnTheNextRequest) {
  TScriptedServer server(
      Script{{"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
              "Set-Cookie: s=1; path=/\r\nContent-Length: 0\r\n\r\n",
              Ok("in")}});
  VerifyClient http;
  EXPECT_THROW(http.FetchUrl(server.Url("/a")), EIdHTTPProtocolException);
  EXPECT_EQ(http.FetchUrl(server.Url("/b")), "in");
  http.CloseConnection();
  server.Finish();
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].find("Cookie"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nAuthorization: Basic Og==\r\nCookie: s=1\r\n\r\n"), std::string::npos) << requests[1];
}
