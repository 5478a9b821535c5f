#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Command.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "StubImage.h"
#include "VerifyTestFiles.h"
#include "base/SysUtils.h"
#include "codes/QORMD5Unit.h"
#include "http/ScriptedServer.h"
#include "settings/allparam.h"
#include "verify_client/VerifyClient.h"

namespace {

constexpr const char* kReplyPath = "brenlow/QORTQ3.6ins.htm";

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
    stubtest::TTree tree = stubtest::LauncherResources(false);
    tree[TResourceId::Number(16)][TResourceId::Number(1)][2052] = name + " " + std::to_string(n);
    const std::string bytes = stubtest::BuildStub(tree);
    const std::string fp = MD5DigestText(MD5OfBytes(bytes.data(), bytes.size()));
    try {
      const std::string reply = BuildReplyFor(fp);
      const std::string path = verifytest::ScratchPath(name + ".exe").Native();
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

// A mirror that answers no request until `count` requests have come in, each on a connection
// of its own: only a check that asks its mirrors at once ever gets an answer from it (one that
// asks them in turn waits out its read time limit on the first).
class TRendezvousServer {
 public:
  TRendezvousServer(int count, std::string reply) : count_(count), reply_(std::move(reply)) {
    listen_.IP = "127.0.0.1";
    listen_.AllocateHandle();
    listen_.BindLocal();
    listen_.Listen(count);
    if (!thread_.Start([this] { Run(); })) throw EIdException("the server thread did not start");
  }
  ~TRendezvousServer() {
    stop_ = true;
    thread_.Join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(listen_.Port) + "/"; }

 private:
  bool Wait(TIdSocketHandle& s) {
    for (int i = 0; i < 400 && !stop_; ++i)  // 20 s at most: no passing test comes near
      if (s.WaitReadable(50)) return true;
    return false;
  }
  void Run() {
    std::vector<std::unique_ptr<TIdSocketHandle>> clients;
    for (int i = 0; i < count_; ++i) {
      clients.push_back(std::make_unique<TIdSocketHandle>());
      if (!Wait(listen_) || !listen_.Accept(*clients.back())) return;
      std::string head;
      while (head.find("\r\n\r\n") == std::string::npos) {
        char buf[4096];
        if (!Wait(*clients.back())) return;
        const int n = clients.back()->ReceiveBytes(buf, sizeof buf);
        if (n <= 0) return;
        head.append(buf, static_cast<std::size_t>(n));
      }
    }
    for (auto& c : clients) c->SendBytes(reply_.data(), static_cast<int>(reply_.size()));
  }

  TIdComponent stackUser_;
  TIdSocketHandle listen_;
  int count_;
  std::string reply_;
  std::atomic<bool> stop_{false};
  platform::Thread thread_;
};

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
  TScriptedServer page({{Ok("\r\n<html>" + std::string(4000, 'x') + "</html>")}});
  TScriptedServer bom({{Ok("\xEF\xBB\xBF" + ours.reply)}});
  TScriptedServer moved(
      {{"HTTP/1.1 302 Found\r\nLocation: http://new.example/\x1b[2K\r\nContent-Length: 0\r\n"
        "Connection: close\r\n\r\n"}});
  // A status line that would rewrite the terminal's line into a forged verdict.
  TScriptedServer forged(
      {{"HTTP/1.1 500 \r\x1b[2Khttp://x/ match 1 ms\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}});
  const std::string refused = RefusingMirror();

  TMirrorChecker checker(ours.fingerprint, kReplyPath);
  auto check = [&](const std::string& mirror) { return checker.Check(mirror); };
  const TMirrorVerdict v1 = check(same.Url("/")), v2 = check(cleaned.Url("/")), v3 = check(stale.Url("/")),
                       v4 = check(blank.Url("/")), v5 = check(missing.Url("/")), v6 = check(page.Url("/")),
                       v7 = check(refused), v8 = check(bom.Url("/")), v9 = check(moved.Url("/")),
                       v10 = check(forged.Url("/"));

  EXPECT_EQ(v1.url, same.Url("/brenlow/QORTQ3.6ins.htm"));
  EXPECT_EQ(v1.kind, TMirrorVerdictKind::Match);
  EXPECT_EQ(v2.kind, TMirrorVerdictKind::Match);
  EXPECT_EQ(v3.kind, TMirrorVerdictKind::Mismatch);
  EXPECT_EQ(v3.detail, "got " + other.fingerprint);
  EXPECT_EQ(v4.kind, TMirrorVerdictKind::NoAnswer) << "blanks are no answer to the launcher, not a verdict";
  EXPECT_EQ(v5.kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_NE(v5.detail.find("404"), std::string::npos) << v5.detail;
  EXPECT_EQ(v6.kind, TMirrorVerdictKind::NoAnswer) << "a portal's page is no answer: the next mirror is asked";
  EXPECT_EQ(v6.detail, "the network answered with a page (a sign-in portal?)");
  EXPECT_EQ(v7.kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_EQ(v8.kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_NE(v8.detail.find("byte-order mark"), std::string::npos) << v8.detail;
  EXPECT_EQ(v9.kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_EQ(v9.detail,
            "redirect to http://new.example/\\x1b[2K (not followed: the launcher follows only a move to https:// on "
            "the same host and path)");

  // Every verdict is one line of the documented shape, whatever the reason or the page held.
  const std::regex shape(R"(http://127\.0\.0\.1:\d+/brenlow/QORTQ3\.6ins\.htm )"
                         R"((match|mismatch \(got [^\r\n]+\)|no answer \([^\r\n]+\)) \d+ ms)");
  for (const auto* v : {&v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, &v9, &v10}) {
    const std::string line = VerdictLine(*v);
    for (unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "a raw byte " << int(c) << " in " << line;
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_LT(line.size(), 200u) << line;
  }
  EXPECT_NE(VerdictLine(v3).find(" mismatch (got " + other.fingerprint + ") "), std::string::npos);
  EXPECT_NE(VerdictLine(v7).find("Socket Error # "), std::string::npos) << VerdictLine(v7);

  // Each mirror was asked once, for this release's reply.
  for (auto* server : {&same, &cleaned, &stale, &blank, &missing, &page, &bom, &moved, &forged}) {
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
  TMirrorChecker checker(ours.fingerprint, kReplyPath);
  EXPECT_EQ(checker.Check(over.Url("/")).kind, TMirrorVerdictKind::NoAnswer);
  EXPECT_EQ(checker.Check(within.Url("/")).kind, TMirrorVerdictKind::Match);
}

TEST_F(MirrorCheck, EveryMirrorIsAskedAtOnceAndReportedInItsOrder) {
  const TLauncher ours = PublishableLauncher("ours"), other = PublishableLauncher("other");
  TRendezvousServer together(3, Ok(ours.reply));
  TScriptedServer quick({{Ok(other.reply)}});
  // The quick mirror answers long before the three that wait for each other; it is printed last.
  testing::internal::CaptureStdout();
  const int code = RunCommand({ours.path, "--mirror", together.Url(), "--mirror", together.Url(), "--mirror",
                               together.Url(), "--mirror", quick.Url("/")});
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kExitNo);
  const std::regex order("(" + together.Url() + R"(brenlow/QORTQ3\.6ins\.htm match \d+ ms\n){3})" + quick.Url("/") +
                         R"(brenlow/QORTQ3\.6ins\.htm mismatch \(got [0-9a-f]{32}\) \d+ ms\n)");
  EXPECT_TRUE(std::regex_match(out, order)) << out;
}

TEST_F(MirrorCheck, WarnsOfMirrorsNoUserCanReachAndOfRepeats) {
  const std::vector<std::string> warnings =
      MirrorWarnings({"http://127.0.0.11:8080/", "http://dl1.parvalo.example/", "http://192.168.1.5/",
                      "http://DL1.parvalo.example:80/", "http://localhost/", "http://10.0.0.1:8080/",
                      "http://172.20.0.1/", "http://172.32.0.1/", "http://8.8.8.8/", "http://1270.0.0.1/"});
  ASSERT_EQ(warnings.size(), 4u);
  EXPECT_EQ(warnings[0].substr(warnings[0].find(':')), ": M1 127.0.0.11:8080 M5 localhost:80");
  EXPECT_EQ(warnings[1].substr(warnings[1].find(':')), ": M3 192.168.1.5:80 M6 10.0.0.1:8080 M7 172.20.0.1:80");
  EXPECT_EQ(warnings[2].substr(warnings[2].find(':')), ": M2=M4 dl1.parvalo.example:80");
  EXPECT_EQ(warnings[3].substr(warnings[3].find(':')),
            ": M1 127.0.0.11:8080 M2 dl1.parvalo.example:80 M3 192.168.1.5:80 M4 dl1.parvalo.example:80 M5 "
            "localhost:80 M6 10.0.0.1:8080 M7 172.20.0.1:80 M8 172.32.0.1:80 M9 8.8.8.8:80 M10 1270.0.0.1:80");
  // IPv6 literals: loopback, link-local and unique local; a public one is no warning.
  const std::vector<std::string> v6 =
      MirrorWarnings({"https://[::1]:8080/", "https://[fe80::1]/", "https://[fd00::5]:81/", "https://[2001:db8::7]/"});
  ASSERT_EQ(v6.size(), 2u);
  EXPECT_EQ(v6[0].substr(v6[0].find(':')), ": M1 [::1]:8080");
  EXPECT_EQ(v6[1].substr(v6[1].find(':')), ": M2 [fe80::1]:443 M3 [fd00::5]:81");
  EXPECT_TRUE(MirrorWarnings({"https://dl1.parvalo.example/", "HTTPS://dl2.parvalo.example:8443/"}).empty());
  const std::vector<std::string> mixed =
      MirrorWarnings({"https://dl1.parvalo.example/", "http://dl2.parvalo.example/"});
  ASSERT_EQ(mixed.size(), 1u);
  EXPECT_EQ(mixed[0].substr(mixed[0].find(':')), ": M2 dl2.parvalo.example:80");
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
  {
    // A reply URL is taken for its mirror; a URL without its scheme is refused before anything is
    // asked (it would be resolved against the mirror before it).
    TScriptedServer a({{Ok(ours.reply)}});
    EXPECT_EQ(RunCommand({ours.path, "--mirror", a.Url("/brenlow/QORTQ3.6ins.htm")}), 0);
    EXPECT_EQ(a.Requests().size(), 1u);
    const std::string bare = a.Url("/").substr(7);
    EXPECT_THROW(RunCommand({ours.path, "--mirror", a.Url("/"), "--mirror", bare}), EUsageError);
    EXPECT_THROW(RunCommand({ours.path, "--mirror", "ftp://" + bare}), EUsageError);
  }
  // A file that is no launcher is refused: its mirrors and reply path are unknown.
  const std::string plain = verifytest::ScratchPath("plain.exe").Native();
  verifytest::WriteFile(plain, stubtest::BuildStub({}));
  EXPECT_EQ(RunCommand({plain}), kExitNo);
  EXPECT_THROW(RunCommand({ours.path, "--mirror"}), EUsageError);
  EXPECT_THROW(RunCommand({}), EUsageError);
}

}  // namespace
