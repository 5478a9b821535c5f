// The release as a vendor checks it before announcing it: check-release on a good release and on
// each kind of bad one, publish refusing to replace another build's reply on the mirrors, and
// the --json outputs a pipeline reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "Command.h"
#include "ReplyPublish.h"
#include "SignedImage.h"
#include "TestFiles.h"
#include "archive/ArchiveWriter.h"
#include "codes/QORMD5Unit.h"
#include "http/ScriptedServer.h"

namespace {
using namespace stubtest;

constexpr const char* kRelease =
    "# the release\n"
    "set(SETUPTQ_PRODUCT_CODE \"QORTQ\")\n"
    "set(SETUPTQ_PRODUCT_VERSION \"%s\")  # raise it for every build\n"
    "set(SETUPTQ_HOME_PAGE \"http://127.0.0.13:8080/\")\n"
    "set(SETUPTQ_MIRRORS\n  \"http://127.0.0.11:8080/\"\n  \"http://127.0.0.12:8080/\"\n  "
    "\"http://127.0.0.13:8080/\")\n";

std::string ReleaseText(const std::string& version) {
  std::string text = kRelease;
  return text.replace(text.find("%s"), 2, version);
}

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  TMemoryStream out;
  TArchiveWriter writer(out, static_cast<std::int32_t>(entries.size()));
  for (const auto& [name, bytes] : entries) writer.AddEntry(name, bytes);
  return out.DataString();
}

struct TBuild {
  std::string bytes, fingerprint, reply;
};
// A launcher whose reply can be published (about one build in 240 cannot), carrying `entries`,
// signed unless told otherwise, with the settings given.
TBuild Build(const std::string& tag, bool sign = true, const char* installer = "instTQ.exe",
             const std::string& settings = kSettings) {
  for (int n = 0;; ++n) {
    TTree tree = LauncherResources(false);
    tree[TResourceId::Number(16)][TResourceId::Number(1)][2052] = tag + std::to_string(n);
    tree[TResourceId::Number(10)][TResourceId::Named("SETTINGS")][0] = settings;
    std::string bytes =
        Attach(BuildStub(tree), Archive({{installer, "MZ installer"}, {"\xcb\xb5\xc3\xf7.txt", "notes"}}));
    if (sign) bytes = signtest::Sign(bytes);
    const std::string fp = MD5DigestText(MD5OfBytes(bytes.data(), bytes.size()));
    try {
      return {bytes, fp, BuildReplyFor(fp)};
    } catch (const EPublishError&) {
    }
  }
}

std::string RefusingMirror() {
  TScriptedServer gone({});
  return gone.Url("/");
}

struct TRun {
  int code;
  std::string out, err;
};
TRun Tool(const std::string& name, const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int code = -1;
  for (const auto& c : Commands())
    if (name == c.name) code = c.run(args);
  TRun r{code, testing::internal::GetCapturedStdout(), ""};
  r.err = testing::internal::GetCapturedStderr();
  return r;
}

// The names of the checks a check-release output marks FAIL.
std::string Failed(const std::string& out) {
  std::string names;
  std::size_t at = 0;
  while ((at = out.find("\n  FAIL ", at)) != std::string::npos) {
    at += 8;
    names += (names.empty() ? "" : " ") + out.substr(at, out.find(' ', at) - at);
  }
  return names;
}

class ReleaseCheck : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return dir_.At(name); }
  testfiles::TempDir dir_;
};

TEST_F(ReleaseCheck, PassesAGoodReleaseAndNamesWhatIsWrongWithEachBadOne) {
  const TBuild good = Build("good"), other = Build("other"), unsigned_ = Build("unsigned", false),
               noInstaller = Build("setup", true, "setup.exe");
  TBuild noise = good;
  noise.bytes = signtest::WithTable(Build("noise", false).bytes, std::string(4000, '\x7A'));
  noise.fingerprint = MD5DigestText(MD5OfBytes(noise.bytes.data(), noise.bytes.size()));
  noise.reply = BuildReplyFor(noise.fingerprint);  // a fixed input: publishable, as the test saw
  testfiles::WriteFile(At("release.cmake"), ReleaseText("3.6"));
  testfiles::WriteFile(At("release-3.7.cmake"), ReleaseText("3.7"));

  const struct {
    const char* name;
    const TBuild& build;
    const char* release;
    const char* mirrors;  // per mirror: r its reply, o another build's, x nothing listening
    const char* failed;
  } cases[] = {
      {"good", good, "release.cmake", "rr", ""},
      {"unsigned", unsigned_, "release.cmake", "rr", "signed"},
      {"noise-signed", noise, "release.cmake", "rr", "signed"},
      {"no-installer", noInstaller, "release.cmake", "rr", "installer"},
      {"other-release", good, "release-3.7.cmake", "rr", "release"},
      {"mirror-down", good, "release.cmake", "rx", "mirrors"},
      {"stale-mirror", good, "release.cmake", "ro", "reply"},
  };
  for (const auto& c : cases) {
    const std::string launcher = At(std::string(c.name) + ".exe");
    testfiles::WriteFile(launcher, c.build.bytes);
    std::vector<std::unique_ptr<TScriptedServer>> servers;
    std::vector<std::string> args = {"--release-file", At(c.release)};
    for (const char* m = c.mirrors; *m; ++m) {
      if (*m == 'x') {
        args.insert(args.end(), {"--mirror", RefusingMirror()});
        continue;
      }
      servers.push_back(std::make_unique<TScriptedServer>(
          std::vector<std::vector<std::string>>{{Ok(*m == 'r' ? c.build.reply : other.reply)}}));
      args.insert(args.end(), {"--mirror", servers.back()->Url("/")});
    }
    args.push_back(launcher);
    const TRun r = Tool("check-release", args);
    EXPECT_EQ(r.code, std::string(c.failed).empty() ? 0 : kExitNo) << c.name << "\n" << r.out << r.err;
    EXPECT_EQ(Failed(r.out), c.failed) << c.name << "\n" << r.out;
    std::size_t verdicts = 0;
    for (const char* mark : {"\n  pass ", "\n  FAIL "})
      for (std::size_t at = 0; (at = r.out.find(mark, at)) != std::string::npos; ++at) ++verdicts;
    EXPECT_EQ(verdicts, 5u) << r.out;
    if (std::string(c.name) == "good") {
      EXPECT_NE(r.out.find("  pass signed   by CN=Parvalo release test, O=Parvalo"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("  warn mirrors  loopback mirrors"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("all 5 checks pass"), std::string::npos) << r.out;
    }
    // A failing mirror is named on a line of its own, with why.
    if (std::string(c.name) == "stale-mirror") {
      EXPECT_NE(r.out.find("\n                M2 " + servers[1]->Url("/brenlow/QORTQ3.6ins.htm") + " serves " +
                           other.fingerprint + "\n"),
                std::string::npos)
          << r.out;
    }
    if (std::string(c.name) == "mirror-down") {
      EXPECT_NE(r.out.find("serve no reply:\n                M2 http://127.0.0.1:"), std::string::npos) << r.out;
    }
  }
}

TEST_F(ReleaseCheck, PublishRefusesToReplaceAnotherBuildsReplyOnTheMirrors) {
  const TBuild other = Build("other");
  TScriptedServer stale({{Ok(other.reply)}});
  const std::string settings = "product-code=QORTQ\nversion=3.6\ninstaller=instTQ.exe\nhome-page=" + stale.Url("/") +
                               "\nmirror=" + RefusingMirror() + "\nmirror=" + stale.Url("/") + "\n";
  testfiles::WriteFile(At("setupTQ.exe"), Build("ours", true, "instTQ.exe", settings).bytes);
  const TRun refused = Tool("publish", {"--create", At("setupTQ.exe"), At("webroot")});
  EXPECT_EQ(refused.code, kExitNo);
  for (const char* said : {"already serves the reply of another build of QORTQ 3.6", other.fingerprint.c_str(),
                           "Raise SETUPTQ_PRODUCT_VERSION in release.cmake", "--offline"})
    EXPECT_NE(refused.err.find(said), std::string::npos) << said << " in " << refused.err;
  EXPECT_FALSE(std::filesystem::exists(At("webroot")));
  EXPECT_EQ(stale.Requests().size(), 1u);
  // Told the release is not out yet, it publishes without asking.
  EXPECT_EQ(Tool("publish", {"--offline", "--create", At("setupTQ.exe"), At("webroot")}).code, 0);

  // Mirrors with no reply at the path do not stop it; its note names each and what it answered.
  TScriptedServer empty({{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}});
  const std::string fresh = "product-code=QORTQ\nversion=3.7\ninstaller=instTQ.exe\nhome-page=" + empty.Url("/") +
                            "\nmirror=" + empty.Url("/") + "\nmirror=" + RefusingMirror() + "\n";
  testfiles::WriteFile(At("setupTQ37.exe"), Build("fresh", true, "instTQ.exe", fresh).bytes);
  const TRun noted = Tool("publish", {At("setupTQ37.exe"), At("webroot")});
  EXPECT_EQ(noted.code, 0) << noted.err;
  for (const char* said : {"2 of 2 mirrors gave no reply at brenlow/QORTQ3.7ins.htm", "\n  M1 http://127.0.0.1:",
                           "404 Not Found", "\n  M2 http://127.0.0.1:", "Connection refused"})
    EXPECT_NE(noted.err.find(said), std::string::npos) << said << " in " << noted.err;
}

TEST_F(ReleaseCheck, JsonCarriesNamesAsCharactersAndEveryVerdict) {
  const TBuild good = Build("good");
  testfiles::WriteFile(At("setupTQ.exe"), good.bytes);
  const TRun info = Tool("info", {"--json", At("setupTQ.exe")});
  EXPECT_EQ(info.code, 0);
  for (const char* said : {"\"name\": \"\xe8\xaf\xb4\xe6\x98\x8e.txt\"", "\"signed\": true",
                           "\"signer\": \"CN=Parvalo release test, O=Parvalo\"", "\"signature_problem\": null",
                           "\"version\": \"3.6\"", "loopback mirrors"})
    EXPECT_NE(info.out.find(said), std::string::npos) << said << " in " << info.out;

  // Whatever a launcher's settings hold, no raw control byte reaches the terminal
  // (a later check may refuse such settings outright instead).
  const std::string hostile =
      "product-code=QOR\x1b[2J\nversion=3.6\x1b]0;x\x07\ninstaller=instTQ.exe\nhome-page=http://127.0.0.1/\n"
      "mirror=http://127.0.0.1/\n";
  testfiles::WriteFile(At("hostile.exe"), Build("hostile", true, "instTQ.exe", hostile).bytes);
  const TRun shown = Tool("info", {At("hostile.exe")});
  EXPECT_EQ(shown.out.find_first_of("\x1b\x07"), std::string::npos) << shown.out;
  EXPECT_TRUE(shown.code != 0 || shown.out.find("QOR\\x1b[2J") != std::string::npos) << shown.out;

  TScriptedServer a({{Ok(good.reply)}});
  const TRun check =
      Tool("check-mirrors", {"--json", At("setupTQ.exe"), "--mirror", a.Url("/"), "--mirror", RefusingMirror()});
  EXPECT_EQ(check.code, kExitNo);
  const std::regex shape(
      R"(\{\n  "file": ".*",\n  "fingerprint": "[0-9a-f]{32}",\n  "reply_path": "brenlow/QORTQ3\.6ins\.htm",\n)"
      R"(  "mirrors": \[\n    \{"url": "[^"]+", "verdict": "match", "detail": null, "code": "[0-9a-f]{32}", "ms": \d+\},\n)"
      R"(    \{"url": "[^"]+", "verdict": "no_answer", "detail": "Socket Error # 10061 [^"]*", "code": null, "ms": \d+\}\n)"
      R"(  \],\n  "matched": 1,\n  "all_match": false\n\}\n)");
  EXPECT_TRUE(std::regex_match(check.out, shape)) << check.out;
}

}  // namespace
