#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Command.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "VerifyTestFiles.h"
#include "base/SysUtils.h"
#include "http/ScriptedServer.h"
#include "launcher/allparam.h"
#include "verify/QORMD5Unit.h"
#include "verify/VerifyClient.h"

namespace {

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// A launcher file whose reply can be published, and that reply.
struct TLauncher {
  std::string path, fingerprint, reply;
};
TLauncher PublishableLauncher(const std::string& name) {
  for (int n = 0;; ++n) {
    const std::string bytes = name + " " + std::to_string(n);
    const std::string fp = MD5DigestText(MD5OfBytes(bytes.data(), bytes.size()));
    try {
      const std::string reply = BuildReplyFor(fp);
      const std::string path = verifytest::ScratchPath(name + ".exe");
      verifytest::WriteFile(path, bytes);
      return {path, fp, reply};
    } catch (const EPublishError&) {
    }
  }
}

// A base URL where nothing listens: a server's port after the server has gone.
std::string RefusingMirror() {
  TScriptedServer gone({});
  return gone.Url("/");
}

int RunCommand(const std::vector<std::string>& args) {
  for (const auto& c : Commands())
    if (std::string(c.name) == "check-mirrors") return c.run(args);
  ADD_FAILURE() << "no check-mirrors command";
  return -1;
}

class MirrorCheck : public ::testing::Test {
 protected:
  void SetUp() override { AssignSettings(); }
};

TEST_F(MirrorCheck, EachMirrorIsJudgedAsTheLauncherJudgesItsReply) {
  const TLauncher ours = PublishableLauncher("ours"), other = PublishableLauncher("other");
  TScriptedServer same({{Ok(ours.reply)}});
  // The launcher lower-cases and trims a reply before decoding it.
  TScriptedServer cleaned({{Ok("\r\n" + UpperCase(ours.reply) + "\r\n")}});
  TScriptedServer stale({{Ok(other.reply)}});
  TScriptedServer blank({{Ok(" \r\n\t")}});
  TScriptedServer missing({{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}});
  TScriptedServer page({{Ok("<html>" + std::string(4000, 'x') + "</html>")}});
  const std::string refused = RefusingMirror();

  TMirrorChecker checker(ours.fingerprint);
  auto check = [&](const std::string& mirror) { return checker.Check(mirror); };
  const TMirrorVerdict v1 = check(same.Url("/")), v2 = check(cleaned.Url("/")), v3 = check(stale.Url("/")),
                       v4 = check(blank.Url("/")), v5 = check(missing.Url("/")), v6 = check(page.Url("/")),
                       v7 = check(refused);

  EXPECT_EQ(v1.url, same.Url("/brenlow/QORTQ3.6ins.htm"));
  EXPECT_EQ(v1.kind, TMirrorVerdictKind::Match);
  EXPECT_EQ(v2.kind, TMirrorVerdictKind::Match);
  EXPECT_EQ(v3.kind, TMirrorVerdictKind::Mismatch);
  EXPECT_EQ(v3.detail, other.fingerprint);
  EXPECT_EQ(v4.kind, TMirrorVerdictKind::NoAnswer) << "blanks are no answer to the launcher, not a verdict";
  EXPECT_EQ(v5.kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_NE(v5.detail.find("404"), std::string::npos) << v5.detail;
  EXPECT_EQ(v6.kind, TMirrorVerdictKind::Mismatch);
  EXPECT_EQ(v7.kind, TMirrorVerdictKind::NoAnswer);

  // Every verdict is one line of the documented shape, whatever the reason or the page held.
  const std::regex shape(R"(http://127\.0\.0\.1:\d+/brenlow/QORTQ3\.6ins\.htm )"
                         R"((match|mismatch \(got [^\r\n]+\)|no answer \([^\r\n]+\)) \d+ ms)");
  for (const auto* v : {&v1, &v2, &v3, &v4, &v5, &v6, &v7}) {
    const std::string line = VerdictLine(*v);
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_LT(line.size(), 200u) << line;
  }
  EXPECT_NE(VerdictLine(v3).find(" mismatch (got " + other.fingerprint + ") "), std::string::npos);
  EXPECT_NE(VerdictLine(v7).find("Socket Error # "), std::string::npos) << VerdictLine(v7);

  // Each mirror was asked once, for this release's reply.
  for (auto* server : {&same, &cleaned, &stale, &blank, &missing, &page}) {
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /brenlow/QORTQ3.6ins.htm HTTP/1.1\r\n", 0), 0u) << requests[0];
  }
}

// The launcher's client stops at its body limit: a mirror that sends more gives no answer,
// even when what it sends begins with the right reply.
TEST_F(MirrorCheck, AReplyOverTheLaunchersBodyLimitIsNoAnswer) {
  const TLauncher ours = PublishableLauncher("ours");
  const std::string padded = ours.reply + std::string(kVerifyMaxBodySize, ' ');
  TScriptedServer over({{Ok(padded)}});
  TScriptedServer within({{Ok(padded.substr(0, kVerifyMaxBodySize))}});
  TMirrorChecker checker(ours.fingerprint);
  EXPECT_EQ(checker.Check(over.Url("/")).kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_EQ(checker.Check(within.Url("/")).kind, TMirrorVerdictKind::Match);
}

TEST_F(MirrorCheck, TheCommandSucceedsOnlyWhenEveryMirrorMatches) {
  const TLauncher ours = PublishableLauncher("ours"), other = PublishableLauncher("other");
  {
    TScriptedServer a({{Ok(ours.reply)}}), b({{Ok(ours.reply)}});
    // A base URL without its final slash is the same mirror.
    const std::string bUrl = b.Url("");
    EXPECT_EQ(RunCommand({ours.path, "--mirror", a.Url("/"), "--mirror", bUrl}), 0);
    EXPECT_EQ(b.Requests().size(), 1u);
  }
  {
    TScriptedServer a({{Ok(ours.reply)}}), b({{Ok(other.reply)}});
    EXPECT_NE(RunCommand({ours.path, "--mirror", a.Url("/"), "--mirror", b.Url("/")}), 0);
  }
  {
    TScriptedServer a({{Ok(ours.reply)}});
    EXPECT_NE(RunCommand({ours.path, "--mirror", a.Url("/"), "--mirror", RefusingMirror()}), 0);
  }
  EXPECT_NE(RunCommand({ours.path, "--mirror"}), 0);
  EXPECT_NE(RunCommand({}), 0);
}

}  // namespace
