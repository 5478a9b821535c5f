#include <gtest/gtest.h>

#include "net/http/IdAuthentication.h"
#include "net/http/IdCoderMIME.h"
#include "net/http/IdCookieManager.h"
#include "net/http/IdGlobal.h"

namespace {
std::string CookiesFor(TIdCookieManager& m, const std::string& url, bool secure = false) {
  return m.GenerateCookieList(TIdURI(url), secure);
}
}  // namespace

TEST(CookieParsing, NameValueAndAttributes) {
  TIdCookieRFC2109 c;
  c.ParseCookie("sid=a=b; Path=\"/x\"; DOMAIN=.example.com; secure; Max-Age=abc; version=1; ");
  EXPECT_EQ(c.Name, "sid");
  EXPECT_EQ(c.Value, "a=b");
  EXPECT_EQ(c.Path, "/x");
  EXPECT_EQ(c.Domain, ".example.com");
  EXPECT_TRUE(c.Secure);
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_EQ(c.Version, "1");
  EXPECT_EQ(c.Expires, "");

  TIdCookieRFC2965 c2;
  c2.ParseCookie("a=1; Port=\"81, 8080\"; Discard; Max-Age=60");
  EXPECT_EQ(c2.PortList, (std::vector<int>{81, 8080}));
  EXPECT_TRUE(c2.Discard);
  EXPECT_FALSE(c2.Expires.empty());  // Max-Age gives an expiry date
  EXPECT_FALSE(c2.IsExpired(Now()));
}

TEST(CookieStore, SentBackToTheHostWithMatchingPath) {
  TIdCookieManager m;
  m.AddCookie("a=1; path=/", "host.example");
  m.AddCookie("b=2; path=/sub", "host.example");
  EXPECT_EQ(CookiesFor(m, "http://host.example/x"), "a=1");
  // Longer paths go first.
  EXPECT_EQ(CookiesFor(m, "http://host.example/sub/page.htm"), "b=2; a=1");
  EXPECT_EQ(CookiesFor(m, "http://other.example/x"), "");
}

TEST(CookieStore, APathIsMatchedAgainstTheFolderNotTheDocument) {
  TIdCookieManager m;
  m.AddCookie("doc=1; path=/sub/page.htm", "h.example");
  m.AddCookie("dir=1; path=/sub", "h.example");
  EXPECT_EQ(CookiesFor(m, "http://h.example/sub/page.htm"), "dir=1");
  EXPECT_EQ(CookiesFor(m, "http://h.example/sub?x=1"), "");  // folder "/", document "sub"
  EXPECT_EQ(CookiesFor(m, "http://h.example/sub/page.htm/x"), "doc=1; dir=1");
}

TEST(CookieStore, DomainMatchesOnlyAtLabelBoundaries) {
  TIdCookieManager m;
  m.AddCookie("a=1; path=/", "example.com");
  m.AddCookie("d=4; path=/; domain=.shop.example", "www.shop.example");
  EXPECT_EQ(CookiesFor(m, "http://example.com/"), "a=1");
  EXPECT_EQ(CookiesFor(m, "http://www.example.com/"), "a=1");
  EXPECT_EQ(CookiesFor(m, "http://EXAMPLE.COM/"), "a=1");
  // Hosts that merely contain the domain text get nothing.
  EXPECT_EQ(CookiesFor(m, "http://badexample.com/"), "");
  EXPECT_EQ(CookiesFor(m, "http://example.com.evil.net/"), "");
  EXPECT_EQ(CookiesFor(m, "http://shop.example/"), "");  // ".shop.example" names subdomains
  EXPECT_EQ(CookiesFor(m, "http://x.shop.example/"), "d=4");
  EXPECT_EQ(CookiesFor(m, "http://myshop.example/"), "");
}

TEST(CookieStore, HostCheckRefusesForeignDomains) {
  TIdCookieManager m;
  m.AddCookie("a=1; path=/; domain=.other.net", "www.example.com");
  m.AddCookie("b=1; path=/; domain=.com", "www.example.com");
  m.AddCookie("c=1; path=/; domain=10.0.0.2", "10.0.0.1");
  m.AddCookie("e=1; path=/; domain=example.com", "www.example.com");
  EXPECT_EQ(m.CookieCollection().Count(), 0);
  m.AddCookie("ok=1; path=/; domain=.example.com", "www.example.com");
  m.AddCookie("ip=1; path=/", "10.0.0.1");
  EXPECT_EQ(m.CookieCollection().Count(), 2);
}

TEST(CookieStore, SecureAndEmptyPathAndEmptyValueRules) {
  TIdCookieManager m;
  m.AddCookie("s=1; path=/; secure", "h.example");
  m.AddCookie("nopath=1", "h.example");
  m.AddCookie("empty=; path=/", "h.example");
  EXPECT_EQ(CookiesFor(m, "http://h.example/"), "");
  EXPECT_EQ(CookiesFor(m, "https://h.example/", true), "s=1");
}

TEST(CookieStore, ExpiredCookiesAreRemovedBeforeSending) {
  TIdCookieManager m;
  m.AddCookie("old=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "h.example");
  m.AddCookie("new=1; path=/; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h.example");
  m.AddCookie("gone=1; path=/; max-age=0", "h.example");
  EXPECT_EQ(m.CookieCollection().Count(), 3);
  EXPECT_EQ(CookiesFor(m, "http://h.example/"), "new=1");
  EXPECT_EQ(m.CookieCollection().Count(), 1);
}

TEST(CookieStore, SameNameUpdatesTheStoredCookie) {
  TIdCookieManager m;
  m.AddCookie("Token=1; path=/", "h.example");
  m.AddCookie("TOKEN=2; path=/", "h.example");
  EXPECT_EQ(m.CookieCollection().Count(), 1);
  EXPECT_EQ(CookiesFor(m, "http://h.example/"), "TOKEN=2");
}

TEST(CookieStore, NewCookieEventMayRefuse) {
  TIdCookieManager m;
  m.OnNewCookie = [](TIdCookieManager&, TIdNetscapeCookie& c, bool& accept) { accept = c.Name != "no"; };
  m.AddCookie("no=1; path=/", "h.example");
  m.AddCookie("yes=1; path=/", "h.example");
  EXPECT_EQ(CookiesFor(m, "http://h.example/"), "yes=1");
}

TEST(Base64, EncodesAndDecodesRfcVectors) {
  const char* vectors[][2] = {{"", ""},
                              {"f", "Zg=="},
                              {"fo", "Zm8="},
                              {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="},
                              {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"},
                              {":", "Og=="}};
  for (auto& v : vectors) {
    EXPECT_EQ(EncodeBase64(v[0]), v[1]);
    EXPECT_EQ(DecodeBase64(v[1]), v[0]);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
  EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy"), "foobar");
}

TEST(Authorization, RegistryFindsBasicIgnoringCase) {
  auto factory = AuthSchemeRegistry().Find("bAsIc");
  ASSERT_TRUE(factory);
  auto auth = factory();
  EXPECT_EQ(auth->Authentication(), "Basic Og==");
  EXPECT_FALSE(AuthSchemeRegistry().Find("Digest"));
  EXPECT_EQ(auth->Steps(), 1);
  EXPECT_EQ(auth->Next(), wnAskTheProgram);  // no user name yet
  EXPECT_EQ(auth->Next(), wnFail);           // one step only
  auth->Reset();
  EXPECT_EQ(auth->CurrentStep, 0);
}
