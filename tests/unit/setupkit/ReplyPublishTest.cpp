#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "ReplyPublish.h"
#include "VerifyTestFiles.h"
#include "codes/QORMD5Unit.h"
#include "codes/ShareCodeCheckunit.h"
#include "platform/Platform.h"
#include "settings/allparam.h"

using verifytest::FileExists;
using verifytest::ScratchPath;

namespace {

std::string RandomFingerprint(std::mt19937& random) {
  static const char kHex[] = "0123456789abcdef";
  std::string fp(32, '0');
  for (char& c : fp) c = kHex[random() & 15];
  return fp;
}

// Whether the launcher's clean-up would cut into the scrambled code: the one reason a
// fingerprint's reply cannot be published (its scrambled bytes never hold 'A'..'Z' or '\').
bool ScrambledEndsInBlank(const std::string& fp) {
  TShareCode r;
  r.SetCodeKey();
  const std::string s = ScrambleText(fp, r.CodeKey);
  return static_cast<unsigned char>(s.front()) <= 32 || static_cast<unsigned char>(s.back()) <= 32;
}

// True when every '$', "<?", "?>", "<%", "%>" of the body sits behind its backslash.
bool SafeInAWebPage(const std::string& body) {
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    const bool escaped = i > 0 && body[i - 1] == '\\';
    if (c == '$' && !escaped) return false;
    if (c == '<' && i + 1 < body.size() && (body[i + 1] == '?' || body[i + 1] == '%')) return false;
    if ((c == '?' || c == '%') && i + 1 < body.size() && body[i + 1] == '>') return false;
  }
  return true;
}

// A small file whose fingerprint's reply the launcher would trim: found by a bounded search.
std::string UnpublishableLauncher() {
  const std::string path = ScratchPath("unpublishable.exe").Native();
  for (int n = 0; n < 100000; ++n) {
    const std::string bytes = "launcher " + std::to_string(n);
    if (ScrambledEndsInBlank(MD5DigestText(MD5OfBytes(bytes.data(), bytes.size())))) {
      verifytest::WriteFile(path, bytes);
      return path;
    }
  }
  return std::string();
}

}  // namespace

TEST(Publish, ThousandsOfRandomFingerprintsDecodeBackOrAreRefusedForTheRightReason) {
  std::mt19937 random(20110425);
  int published = 0, refused = 0;
  for (int n = 0; n < 20000; ++n) {
    const std::string fp = RandomFingerprint(random);
    const bool trimmed = ScrambledEndsInBlank(fp);
    try {
      const std::string body = BuildReplyFor(fp);
      ++published;
      EXPECT_FALSE(trimmed) << fp;
      EXPECT_TRUE(SafeInAWebPage(body)) << body;
      TShareCode launcher;
      launcher.SetCodeKey();
      launcher.ExeMD5 = fp;
      ASSERT_TRUE(launcher.ReplyMatches(body)) << fp;
      EXPECT_EQ(launcher.GetServerCode(), fp);
      launcher.ExeMD5 = RandomFingerprint(random);
      EXPECT_FALSE(launcher.ReplyMatches(body)) << "another launcher accepted " << fp;
    } catch (const EPublishError& e) {
      ++refused;
      EXPECT_TRUE(trimmed) << fp << ": " << e.Message();
      EXPECT_NE(e.Message().find("blank"), std::string::npos) << e.Message();
    }
  }
  EXPECT_GT(published, 19000);
  EXPECT_GT(refused, 0);  // the search did meet the case the launcher cannot accept
}

TEST(Publish, WritesTheReplyWhereTheLauncherAsksAndItDecodesToTheBinarysFingerprint) {
  AssignSettings();
  const std::string dir = verifytest::ScratchDir().Native() + "/mirror";
  EXPECT_EQ(ReplyFilePath(dir + "/", BuildVerifyRequestPath('.')), dir + "/brenlow/QORTQ3.6ins.htm");
  const std::string launcher = platform::ModuleFileName().Native();  // a built binary
  const std::string fp = GetFileMD5(TPath::FromNative(launcher));
  if (ScrambledEndsInBlank(fp)) GTEST_SKIP() << "this build's fingerprint cannot be published";
  const TPublishedReply out = PublishReply(launcher, dir, "brenlow/QORTQ3.6ins.htm");
  EXPECT_EQ(out.fingerprint, fp);
  EXPECT_EQ(out.path, dir + "/brenlow/QORTQ3.6ins.htm");
  EXPECT_EQ(verifytest::ReadFile(out.path), out.body);
  const TDecodedReply back = DecodeReplyFile(out.path, fp);
  EXPECT_TRUE(back.matches);
  EXPECT_EQ(back.serverCode, fp);
  EXPECT_FALSE(DecodeReplyFile(out.path, "0123456789abcdef0123456789abcdef").matches);
}

TEST(Publish, RefusesAndWritesNothingWhenTheLauncherWouldNotAcceptIt) {
  AssignSettings();
  const std::string launcher = UnpublishableLauncher();
  ASSERT_FALSE(launcher.empty());
  const std::string dir = verifytest::ScratchDir().Native() + "/refused";
  const std::string path = ReplyFilePath(dir, "brenlow/QORTQ3.6ins.htm");
  std::remove(path.c_str());
  EXPECT_THROW(PublishReply(launcher, dir, "brenlow/QORTQ3.6ins.htm"), EPublishError);
  EXPECT_FALSE(FileExists(TPath::FromNative(path)));
}

TEST(Publish, DecodingADamagedReplyFileReportsNoMatch) {
  AssignSettings();
  const std::string fp = "900150983cd24fb0d6963f7d28e17f72";
  const std::string path = ScratchPath("damaged.htm").Native();
  std::string body = BuildReplyFor(fp);
  verifytest::WriteFile(path, "\r\n" + body + "\r\n");
  EXPECT_TRUE(DecodeReplyFile(path, fp).matches);
  body[body.size() / 2] = body[body.size() / 2] == '0' ? '1' : '0';
  verifytest::WriteFile(path, body);
  const TDecodedReply back = DecodeReplyFile(path, fp);
  EXPECT_FALSE(back.matches);
  EXPECT_EQ(back.serverCode.size(), 32u);
  EXPECT_THROW(DecodeReplyFile(ScratchPath("no-such-reply.htm").Native(), fp), EFOpenError);
  // The arguments swapped: a program is no reply, and says so instead of decoding a megabyte.
  try {
    DecodeReplyFile(platform::ModuleFileName().Native(), fp);
    ADD_FAILURE() << "a program decoded as a reply";
  } catch (const EPublishError& e) {
    EXPECT_NE(e.Message().find("is not a reply file"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("a program"), std::string::npos) << e.Message();
  }
}
