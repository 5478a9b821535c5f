// A launcher counts as signed only when its certificate table is a signature of this very file,
// its value made by the signer's key: what info shows, and what publish takes as signed.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "Command.h"
#include "Digest.h"
#include "LauncherFile.h"
#include "SignedImage.h"
#include "TestFiles.h"
#include "archive/ArchiveWriter.h"

namespace {
using namespace stubtest;

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) std::snprintf(two, sizeof two, "%02x", c), out += two;
  return out;
}

TEST(Digests, AreTheStandardOnes) {
  const std::string sha1("\x2B\x0E\x03\x02\x1A"), md5("\x2A\x86\x48\x86\xF7\x0D\x02\x05");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // padding spills over
  EXPECT_EQ(Hex(DigestOf(signtest::kSha256, "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(DigestOf(signtest::kSha256, twoBlocks)),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(DigestOf(sha1, "abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Hex(DigestOf(sha1, twoBlocks)), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Hex(DigestOf(md5, "abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestOf(signtest::kSha512, "abc"), "") << "an algorithm the tool does not compute";
}

std::string Launcher() {
  TMemoryStream archive;
  TArchiveWriter writer(archive, 1);
  writer.AddEntry("instTQ.exe", "MZ the installer");
  return Attach(BuildStub(LauncherResources(false)), archive.DataString());
}

int RunCommand(const std::string& name, const std::vector<std::string>& args) {
  for (const auto& c : Commands())
    if (name == c.name) return c.run(args);
  ADD_FAILURE() << "no command " << name;
  return -1;
}

TEST(Signature, OnlyASignatureOfThisFileCounts) {
  testfiles::TempDir dir;
  const std::string launcher = Launcher(), signedFile = signtest::Sign(launcher);
  std::mt19937 random(24);
  std::string noise(4000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string changed = signedFile;
  changed[0x210] ^= 0x01;  // a byte of the code
  signtest::TSignOptions otherContent, sha512, otherValue;
  otherContent.attributesMatch = false;
  sha512.oid = signtest::kSha512;
  otherValue.flipValue = true;
  const std::string table = signedFile.substr((launcher.size() + 7) / 8 * 8);
  const struct {
    const char* name;
    std::string bytes;
    const char* problem;  // empty: a valid signature
  } cases[] = {
      {"signed.exe", signedFile, ""},
      {"unsigned.exe", launcher, ""},
      {"changed.exe", changed, "the file was changed after it was signed"},
      {"noise.exe", signtest::WithTable(launcher, noise), "certificate"},
      {"appended.exe", signedFile + "appended after signing", "bytes follow the signature"},
      {"attributes.exe", signtest::Sign(launcher, otherContent), "signed attributes do not hold the digest"},
      {"sha512.exe", signtest::Sign(launcher, sha512), "(OID 2.16.840.1.101.3.4.2.3) is not one this tool computes"},
      {"value.exe", signtest::Sign(launcher, otherValue), "the signature value does not verify with the signer's"},
      {"junk.exe", signtest::WithTable(launcher, table + std::string(4096, 'J')),
       "bytes of the certificate table follow the signature"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.At(c.name);
    testfiles::WriteFile(path, c.bytes);
    const TSignatureCheck s = ReadLauncher(path).signature;
    const bool expectValid = std::string(c.problem).empty() && c.bytes != launcher;
    EXPECT_EQ(s.valid, expectValid) << c.name << ": " << s.problem;
    EXPECT_EQ(s.present, c.bytes != launcher) << c.name;
    EXPECT_NE(s.problem.find(c.problem), std::string::npos) << c.name << ": " << s.problem;
    if (expectValid) {
      EXPECT_EQ(s.signer, "CN=Parvalo release test, O=Parvalo");
      EXPECT_EQ(s.algorithm, "SHA-256");
      // Its issuer is no root this machine knows, and no time stamp says when it was made.
      EXPECT_EQ(s.chain, "the chain does not end at a root this machine trusts: unknown root");
      EXPECT_EQ(s.expires, "2049-12-31");
      EXPECT_EQ(s.timeStamp, "");
    }
  }
  // publish takes only the valid one as signed, and says why it refuses the noise.
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunCommand("publish", {"--offline", dir.At("noise.exe"), dir.At("webroot")}), kExitNo);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("no valid signature"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(dir.At("webroot")));
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunCommand("publish", {"--offline", "--create", dir.At("signed.exe"), dir.At("webroot")}), 0);
  testing::internal::GetCapturedStdout();
}

// A certificate that expired at the end of 2025, used while it was valid and time-stamped then:
// the stamp keeps the signature as good as on that day, but only a stamp of this signature
// whose own value verifies; any other is named, and the chain judged as of now.
TEST(Signature, ATimeStampCountsOnlyWhenItVerifies) {
  using signtest::TStampKind;
  testfiles::TempDir dir;
  const std::string launcher = Launcher();
  signtest::TSignOptions o;
  o.validity = signtest::Seq(signtest::Der(0x17, "240101000000Z") + signtest::Der(0x17, "251231235959Z"));
  o.usages = {signtest::kCodeSigning};
  signtest::TSignOptions rfc3161 = o, counter = o, grafted = o, moved = o, server = o;
  rfc3161.stamp = grafted.stamp = TStampKind::Rfc3161;
  counter.stamp = moved.stamp = TStampKind::Countersignature;
  grafted.stampedValue = signtest::RsaSign("the signed attributes of another file");
  moved.stampTimeShown = "20250602120000Z";
  server.usages = {signtest::kServerAuth};
  const std::string untrusted = "the chain does not end at a root this machine trusts: ";
  const std::string stamped =
      "by CN=Parvalo test TSA, O=Parvalo, 2025-06-01 12:00:00 UTC; " + untrusted + "unknown root";
  const std::string notVerifying = "a time stamp that does not verify: ";
  const struct {
    const char* name;
    const signtest::TSignOptions& options;
    std::string timeStamp, chain;  // the chain as of the stamp's time, or as of now
  } cases[] = {
      {"rfc3161.exe", rfc3161, stamped, "unknown root"},
      {"counter.exe", counter, stamped, "unknown root"},
      {"grafted.exe", grafted,
       notVerifying + "it stamps another signature (its message imprint is not the digest of this signature value)",
       "expired"},
      {"moved.exe", moved, notVerifying + "the signature value does not verify with the signer's public key",
       "expired"},
  };
  for (const auto& c : cases) {
    testfiles::WriteFile(dir.At(c.name), signtest::Sign(launcher, c.options));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand("info", {dir.At(c.name)}), 0);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("verifies, " + untrusted + c.chain + "\n"), std::string::npos) << c.name << said;
    EXPECT_NE(said.find("  time stamp   " + c.timeStamp + "\n"), std::string::npos) << c.name << said;
    const bool counted = c.timeStamp == stamped;
    EXPECT_NE(said.find(counted ? "  warning      the time stamp by CN=Parvalo test TSA"
                                : "  warning      " + c.timeStamp +
                                      " (its time is not used: the signature stops "
                                      "being valid on 2025-12-31"),
              std::string::npos)
        << c.name << said;
  }
  // A certificate for servers only signs no code.
  testfiles::WriteFile(dir.At("server.exe"), signtest::Sign(launcher, server));
  const TSignatureCheck s = ReadLauncher(dir.At("server.exe")).signature;
  EXPECT_FALSE(s.valid);
  EXPECT_EQ(s.problem, "the signer's certificate is not for code signing");
}

}  // namespace
