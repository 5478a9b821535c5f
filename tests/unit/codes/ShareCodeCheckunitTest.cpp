#include <gtest/gtest.h>

#include <string>

#include "codes/ShareCodeCheckunit.h"

namespace {

const std::string kPrint = "d41d8cd98f00b204e9800998ecf8427e";

TShareCode Keyed(const std::string& exeMD5 = kPrint) {
  TShareCode r;
  r.SetCodeKey();
  r.ExeMD5 = exeMD5;
  return r;
}

// A record whose key is the identity (Seed 0, Multiplier 0, Increment 0: every key byte is 0),
// so that DecodeReply shows the un-escaping alone.
std::string UnescapeOnly(const std::string& reply) {
  TShareCode r;
  return r.DecodeReply(reply);
}

}  // namespace

TEST(Unescape, FivePassesInOrderEachOnThePreviousResult) {
  EXPECT_EQ(UnescapeOnly("\\<\\?"), "<?");
  EXPECT_EQ(UnescapeOnly("\\?\\>"), "?>");
  EXPECT_EQ(UnescapeOnly("\\<\\%"), "<%");
  EXPECT_EQ(UnescapeOnly("\\%\\>"), "%>");
  EXPECT_EQ(UnescapeOnly("\\$"), "$");
  // Pass 3 takes the backslash before '%', so pass 4 finds nothing.
  EXPECT_EQ(UnescapeOnly("\\<\\%\\>"), "<%\\>");
  EXPECT_EQ(UnescapeOnly("\\\\$"), "\\$");
  EXPECT_EQ(UnescapeOnly("a\\b\\"), "a\\b\\");
  EXPECT_EQ(UnescapeOnly("x\\$\\$y"), "x$$y");
}

TEST(Decode, StoresAndReturnsTheServerCode) {
  TShareCode r = Keyed();
  const std::string out = r.DecodeReply("d89a>fi?7h6 d<3<n:4; :=5igv4=>6c");
  EXPECT_EQ(out, kPrint);
  EXPECT_EQ(r.GetServerCode(), kPrint);
  r.DecodeReply("");
  EXPECT_EQ(r.GetServerCode(), "");
}

TEST(Verdict, BlanksAroundTheServerCodeDoNotMatter) {
  TShareCode r = Keyed();
  for (const std::string& s : {" " + kPrint, kPrint + "\r\n", "\t" + kPrint + " \n"}) {
    r.ServerCode = s;
    EXPECT_TRUE(r.CodeMatches()) << '"' << s << '"';
  }
}

TEST(Verdict, CaseLengthAndEmptinessDo) {
  TShareCode r = Keyed();
  r.ServerCode = "D41D8CD98F00B204E9800998ECF8427E";
  EXPECT_FALSE(r.CodeMatches());
  r.ServerCode = kPrint.substr(0, 31);
  EXPECT_FALSE(r.CodeMatches());
  r.ServerCode = kPrint + "0";
  EXPECT_FALSE(r.CodeMatches());
  r.ServerCode = "";
  EXPECT_FALSE(r.CodeMatches());
}

TEST(Verdict, NoFingerprintNeverMatches) {
  TShareCode r = Keyed("");
  EXPECT_FALSE(r.CodeMatches());  // both empty
  r.ExeMD5 = " \r\n";
  r.ServerCode = "";
  EXPECT_FALSE(r.CodeMatches());
}

TEST(ReplyJudgement, PublishedReplyIsAcceptedAndOneChangedByteRejected) {
  TShareCode r = Keyed();
  const std::string reply = r.EncodeReply(kPrint);
  EXPECT_TRUE(r.ReplyMatches(reply));
  for (size_t i = 0; i < reply.size(); ++i) {
    if (reply[i] == '\\') continue;
    std::string bad = reply;
    bad[i] = bad[i] == 'z' ? '7' : 'z';
    EXPECT_FALSE(r.ReplyMatches(bad)) << "byte " << i;
  }
}

TEST(ReplyJudgement, UpperCaseAndSurroundingBlankLinesAreCleanedFirst) {
  TShareCode r = Keyed();
  const std::string reply = r.EncodeReply(kPrint);
  std::string upper;
  for (char c : reply) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  EXPECT_TRUE(r.ReplyMatches("\r\n\r\n" + upper + "\r\n"));
}

TEST(ReplyJudgement, EmptyReplyNeverMatches) {
  TShareCode r = Keyed();
  EXPECT_FALSE(r.ReplyMatches(""));
  EXPECT_EQ(r.GetServerCode(), "");
}

TEST(ReplyJudgement, EscapedSequencesInTheReplyAreUndoneBeforeUnscrambling) {
  // Fingerprints whose scrambled code holds '$', "<?", "?>", "<%" or "%>": the body carries
  // them escaped and still decodes.
  TShareCode r = Keyed();
  int escapedBodies = 0;
  for (int n = 0; n < 4096 && escapedBodies < 5; ++n) {
    char fp[33];
    std::snprintf(fp, sizeof fp, "%08x%08x%08x%08x", n * 2654435761u, n * 40503u + 7, n ^ 0x5bd1e995, n * 97u);
    const std::string body = r.EncodeReply(fp);
    if (body.find('\\') == std::string::npos) continue;
    ++escapedBodies;
    r.ExeMD5 = fp;
    EXPECT_TRUE(r.ReplyMatches(body)) << fp;
  }
  EXPECT_EQ(escapedBodies, 5);
}
