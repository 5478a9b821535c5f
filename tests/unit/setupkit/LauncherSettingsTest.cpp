// The release settings a stub carries for setupkit, and the values the launcher compiles in:
// one configuration writes both, and these cases hold them equal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LauncherFile.h"
#include "base/SysUtils.h"
#include "settings/MirrorConfig.h"
#include "settings/RunOptions.h"
#include "settings/allparam.h"

namespace {

std::string BuildDir() {
  const char* build = std::getenv("SETUPTQ_BUILD_DIR");
  return build ? build : ".";
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// This test links the demo configuration's table, so the demo's settings file is compared.
TEST(LauncherSettings, TheSettingsFileHoldsTheValuesTheLauncherIsBuiltWith) {
  const std::string text = ReadText(BuildDir() + "/settings/st_mirrors_demo.txt");
  ASSERT_FALSE(text.empty()) << "no settings file in " << BuildDir();
  const TLauncherSettings s = ParseLauncherSettings(text);
  AssignSettings();
  EXPECT_EQ(s.productCode, ProductCode);
  EXPECT_EQ(s.version, FloatToStrFixed(static_cast<double>(ProductVersion), 1));
  EXPECT_EQ(s.ReplyPath(), BuildVerifyRequestPath('.'));
  EXPECT_EQ(s.installer, InstallerExeName);
  EXPECT_EQ(s.homePage, kHomePageUrl);
  EXPECT_EQ(s.quietArguments, kInstallerQuietArguments);
  EXPECT_EQ(s.noRestartArgument, kInstallerNoRestartArgument);
  ASSERT_EQ(s.mirrors.size(), static_cast<std::size_t>(kMirrorCount));
  for (int i = 0; i < kMirrorCount; ++i) EXPECT_EQ(s.mirrors[i], kMirrorUrls[i]) << "mirror " << i + 1;
}

// Under the win32 build: the stub carries the release configuration's settings file byte for
// byte, and setupkit reads it from there.
TEST(LauncherSettings, TheBuiltStubCarriesItsConfigurationsSettings) {
  const std::string stub = BuildDir() + "/bin/stub/setupTQ.exe";
  if (!std::filesystem::exists(stub)) GTEST_SKIP() << "no stub built here (native build)";
  const TLauncherFile launcher = ReadLauncher(stub);
  ASSERT_TRUE(launcher.hasSettings);
  EXPECT_FALSE(launcher.hasPayload);
  const TLauncherSettings want = ParseLauncherSettings(ReadText(BuildDir() + "/settings/st_mirrors_release.txt"));
  EXPECT_EQ(launcher.settings.mirrors, want.mirrors);
  EXPECT_EQ(launcher.settings.homePage, want.homePage);
  EXPECT_EQ(launcher.settings.ReplyPath(), want.ReplyPath());
}

TEST(LauncherSettings, DamagedSettingsAreRefused) {
  EXPECT_THROW(ParseLauncherSettings("product-code=QORTQ\nversion=3.6\n"), ELauncherError);
  EXPECT_THROW(ParseLauncherSettings("no equals sign"), ELauncherError);
}

}  // namespace
