#include <gtest/gtest.h>

#include "CodePageForTest.h"
#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"
#include "net/http/IdURI.h"

namespace {
struct Split {
  const char* url;
  const char *protocol, *host, *port, *path, *document, *params, *bookmark;
};

void ExpectSplit(const Split& s) {
  TIdURI u(s.url);
  SCOPED_TRACE(s.url);
  EXPECT_EQ(u.Protocol, s.protocol);
  EXPECT_EQ(u.Host, s.host);
  EXPECT_EQ(u.Port, s.port);
  EXPECT_EQ(u.Path, s.path);
  EXPECT_EQ(u.Document, s.document);
  EXPECT_EQ(u.Params, s.params);
  EXPECT_EQ(u.Bookmark, s.bookmark);
}
}  // namespace

TEST(UriParsing, SplitsTheUsualShapes) {
  const Split table[] = {
      {"http://host:8080/a/b/c.htm?x=1#top", "http", "host", "8080", "/a/b/", "c.htm", "?x=1", "top"},
      {"http://host/dir/file.htm", "http", "host", "", "/dir/", "file.htm", "", ""},
      {"http://host", "http", "host", "", "/", "", "", ""},
      {"http://host:81/a/b?c=d/e", "http", "host", "81", "/a/", "b", "?c=d/e", ""},
      {"http://host/a/b#x", "http", "host", "", "/a/", "b", "", "x"},
      {"http://host/a?b#x", "http", "host", "", "/", "a", "?b", "x"},
      {"sub/page.htm", "", "", "", "sub/", "page.htm", "", ""},
      {"page.htm", "", "", "", "", "page.htm", "", ""},
      {"sub/page.htm#top", "", "", "", "sub/", "page.htm", "", "top"},
      {"page.htm?x#top", "", "", "", "", "page.htm", "?x", "top"},
      {"http:\\\\host\\dir\\f", "http", "host", "", "/dir/", "f", "", ""},
      {"http://host:/x", "http", "host", "", "/", "x", "", ""},
      {"http://host/a/b=c/d", "http", "host", "", "/a/", "b", "=c/d", ""},
      {"http://host?x=1", "http", "host?x=1", "", "/", "", "", ""},
      // An IPv6 literal: the colons inside the brackets are the address's.
      {"http://[::1]:8080/brenlow/a.htm", "http", "::1", "8080", "/brenlow/", "a.htm", "", ""},
      {"http://[2001:db8::7]/x", "http", "2001:db8::7", "", "/", "x", "", ""},
  };
  for (const auto& s : table) ExpectSplit(s);
}

TEST(UriParsing, UserInformation) {
  TIdURI a("http://joe@host/");
  EXPECT_EQ(a.Username, "joe");
  EXPECT_EQ(a.Password, "");
  TIdURI b("http://joe:pw@host/");
  EXPECT_EQ(b.Username, "joe");
  EXPECT_EQ(b.Password, "pw");
  EXPECT_EQ(b.Host, "host");
  TIdURI c("http://:secret@host/");
  EXPECT_EQ(c.Username, "");
  EXPECT_EQ(c.Password, "");  // no user, so no password either
}

TEST(UriParsing, BytesPassThroughUnchanged) {
  TIdURI u("http://h/my dir/%41\xB0\xA1.htm?q=\xD6\xD0 x");
  EXPECT_EQ(u.Path, "/my dir/");
  EXPECT_EQ(u.Document, "%41\xB0\xA1.htm");
  EXPECT_EQ(u.Params, "?q=\xD6\xD0 x");
  EXPECT_EQ(u.ComposeUri(false, false), "http://h/my dir/%41\xB0\xA1.htm?q=\xD6\xD0 x");
}

TEST(UriParsing, BackslashAsTrailByteOfDoubleByteCharacterStays) {
  // Characters whose trail byte has the value of "\\": 0x95 0x5C in code page 936, 0xA5 0x5C
  // in 950 and 0x83 0x5C in 932 (katakana so). Each system steps over its own lead bytes
  // only: 0xA5 is a character of its own in 932, and the backslash after it a separator.
  struct Case {
    unsigned codePage;
    const char* character;
  };
  for (const Case& c : {Case{936, "\x95\x5C"}, Case{950, "\xA5\x5C"}, Case{932, "\x83\x5C"}}) {
    CodePageForTest system(c.codePage);
    TIdURI u(std::string("http://h/a\\") + c.character + ".htm");
    EXPECT_EQ(u.Path, "/a/") << c.codePage;
    EXPECT_EQ(u.Document, std::string(c.character) + ".htm") << c.codePage;
  }
  CodePageForTest japanese(932);
  TIdURI u("http://h/a\\\xA5\x5C.htm");
  EXPECT_EQ(u.Path, "/a/\xA5/");
  EXPECT_EQ(u.Document, ".htm");
}

TEST(UriParsing, AtSignAsTrailByteIsNoUserInformation) {
  // 0x81 0x40 is a double-byte character; its trail byte is "@".
  CodePageForTest chinese(936);
  TIdURI u("http://\x81\x40host/x");
  EXPECT_EQ(u.Username, "");
  EXPECT_EQ(u.Host, "\x81\x40host");
  const TIdURI plain = [] {
    CodePageForTest singleByte(1252);
    return TIdURI("http://\x81\x40host/x");
  }();
  EXPECT_EQ(plain.Username, "\x81");
  EXPECT_EQ(plain.Host, "host");
}

TEST(UriComposing, JoinsPartsAndRefusesMissingOnes) {
  TIdURI u("http://joe:pw@host:81/a/b.htm?x#frag");
  EXPECT_EQ(u.ComposeUri(true, true), "http://joe:pw@host:81/a/b.htm?x#frag");
  EXPECT_EQ(u.ComposeUri(false, false), "http://host:81/a/b.htm?x");
  EXPECT_EQ(u.FullUri(), "http://host:81/a/b.htm?x");
  EXPECT_EQ(u.Uri, "http://joe:pw@host:81/a/b.htm?x#frag");

  TIdURI relative("a/b.htm");
  try {
    relative.ComposeUri(false, false);
    FAIL();
  } catch (const EIdURIException& e) {
    EXPECT_EQ(e.Message(), "Protocol field is empty");
  }
  relative.Protocol = "http";
  try {
    relative.ComposeUri(false, false);
    FAIL();
  } catch (const EIdURIException& e) {
    EXPECT_EQ(e.Message(), "Host field is empty");
  }
}

TEST(UriMergePath, ResolvesRelativeAgainstBase) {
  EXPECT_EQ(TIdURI::MergePath("/a/b/", "c/"), "/a/b/c/");
  EXPECT_EQ(TIdURI::MergePath("/a/b/", "../c/"), "/a/c/");
  EXPECT_EQ(TIdURI::MergePath("/a/b/", "/x/"), "/x/");
  EXPECT_EQ(TIdURI::MergePath("", "/brenlow/"), "/brenlow/");
  EXPECT_EQ(TIdURI::MergePath("/a//", "b"), "/a/b");
  EXPECT_EQ(TIdURI::MergePath("/", "../"), "/");
  EXPECT_EQ(TIdURI::MergePath("/a/b/", "./"), "/a/b/./");
  EXPECT_EQ(TIdURI::MergePath("/a/b/", "..x"), "/a/x");
  EXPECT_EQ(TIdURI::MergePath("/a/b", "c"), "/a/b/c");
}

TEST(TextTools, FetchTokenAndFindLast) {
  std::string t = "k: v";
  EXPECT_EQ(FetchToken(t, ":"), "k");
  EXPECT_EQ(t, " v");
  t = "abc";
  EXPECT_EQ(FetchToken(t, "#"), "abc");
  EXPECT_EQ(t, "");
  t = "a=b";
  EXPECT_EQ(FetchToken(t, "=", false), "a");
  EXPECT_EQ(t, "a=b");
  t = "xxENDyy";
  EXPECT_EQ(FetchTokenNoCase(t, "end"), "xx");
  EXPECT_EQ(t, "yy");

  EXPECT_EQ(FindLast("/", "abc", -1), 0u);
  EXPECT_EQ(FindLast("/", "a/b/c", 3), 2u);
  EXPECT_EQ(FindLast("/", "a/b/c", -1), 4u);
  EXPECT_EQ(FindLast("B", "abcb", 99), 4u);  // case ignored, start lowered to the last fit
  EXPECT_EQ(PosText("", "abc"), 0u);
}
