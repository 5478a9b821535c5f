#include <gtest/gtest.h>

#include "net/http/IdHTTPHeaderInfo.h"
#include "net/http/IdHeaderList.h"

namespace {
TIdHeaderList Lines(std::initializer_list<const char*> lines) {
  TIdHeaderList h;
  for (const char* l : lines) h.Add(l);
  return h;
}
}  // namespace

TEST(HeaderLookup, NamesIgnoreCaseAndValuesUnfold) {
  TIdHeaderList h = Lines({"Content-Type: text/html", " charset=x", "content-length:12", "X: a", "\tb"});
  EXPECT_EQ(h.HeaderValue("CONTENT-TYPE"), "text/html charset=x");
  EXPECT_EQ(h.HeaderValue("Content-Length"), "12");
  EXPECT_EQ(h.HeaderValue("x"), "a b");
  EXPECT_EQ(h.HeaderValue("Missing"), "");
  EXPECT_EQ(h.NameOfLine(2), "CONTENT-LENGTH");
  EXPECT_EQ(h.NameOfLine(1), "");
  h.UnfoldOnRead = false;
  EXPECT_EQ(h.HeaderValue("Content-Type"), "text/html");
}

TEST(HeaderLookup, ExtractValuesCollectsEveryLineOfAName) {
  TIdHeaderList h = Lines({"WWW-Authenticate: Basic realm=\"a\"", "Other: 1", "www-authenticate: Digest x"});
  std::vector<std::string> v;
  h.ExtractValues("WWW-Authenticate", &v);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0], "Basic realm=\"a\"");
  EXPECT_EQ(v[1], "Digest x");
  h.ExtractValues("x", nullptr);  // no list: nothing happens
}

TEST(HeaderSetting, ReplacesInPlaceAppendsAndRemoves) {
  TIdHeaderList h;
  h.SetHeaderValue("Host", "a");
  h.SetHeaderValue("Accept", "x");
  h.SetHeaderValue("Host", "b");
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h[0], "Host: b");
  EXPECT_EQ(h[1], "Accept: x");
  h.SetHeaderValue("Host", "");
  ASSERT_EQ(h.Count(), 1);
  EXPECT_EQ(h[0], "Accept: x");
  h.SetHeaderValue("Absent", "");
  EXPECT_EQ(h.Count(), 1);
}

TEST(HeaderSetting, ReplacingAFoldedHeaderDropsItsContinuations) {
  TIdHeaderList h = Lines({"A: 1", " more", "\tand more", "B: 2"});
  h.SetHeaderValue("a", "new");
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h[0], "a: new");
  EXPECT_EQ(h[1], "B: 2");
}

TEST(HeaderFolding, ShortLinesStayWholeLosingTrailingSpaces) {
  auto lines = TIdHeaderList::FoldLine("Name: value   ", 1024);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Name: value");
  std::string exact = "N: " + std::string(1021, 'v');  // 1024 characters
  EXPECT_EQ(TIdHeaderList::FoldLine(exact, 1024).size(), 1u);
}

TEST(HeaderFolding, LongLineWrapsAfterBreakCharacters) {
  std::string value;
  for (int i = 0; i < 300; ++i) value += "word" + std::to_string(i) + ", ";
  TIdHeaderList h;
  h.FoldWidth = 1024;
  h.SetHeaderValue("X-Long", value);
  ASSERT_GT(h.Count(), 1);
  for (int i = 0; i < h.Count(); ++i) {
    EXPECT_LE(h[i].size(), 1024u + 8);
    if (i > 0) {
      EXPECT_EQ(h[i][0], ' ');
    }
  }
  // Unfolding gives the words back in order.
  std::string joined = h.HeaderValue("X-Long");
  EXPECT_NE(joined.find("word0,"), std::string::npos);
  EXPECT_NE(joined.find("word299,"), std::string::npos);
  EXPECT_LT(joined.find("word150,"), joined.find("word151,"));
}

TEST(HeaderFolding, NeverSplitsInsideQuotes) {
  std::string quoted = "\"" + std::string(600, 'a') + " " + std::string(600, 'b') + "\"";
  auto lines = TIdHeaderList::FoldLine("X: " + quoted + " tail", 1024);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "X:");
  EXPECT_EQ(lines[1], " " + quoted);  // the space inside the quotes was no break
  EXPECT_EQ(lines[2], " tail");
}

TEST(HeaderFolding, NeverSplitsADoubleBytePair) {
  std::string text = "X: ";
  for (int i = 0; i < 300; ++i) text += "\xB0\xA1\xB0\xA1 ";
  auto lines = TIdHeaderList::FoldLine(text, 1024);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1][0], ' ');
  std::size_t pairs = 0;
  for (const auto& l : lines)
    for (std::size_t i = 0; i < l.size(); ++i)
      if (static_cast<unsigned char>(l[i]) == 0xB0) {
        ASSERT_LT(i + 1, l.size());
        EXPECT_EQ(static_cast<unsigned char>(l[i + 1]), 0xA1);
        ++pairs;
      }
  EXPECT_EQ(pairs, 600u);
}

TEST(HeaderFolding, AnExistingLineBreakIsKept) {
  auto lines = TIdHeaderList::FoldLine("A: x\r\n y", 78);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "A: x");
  EXPECT_EQ(lines[1], " y");
}
