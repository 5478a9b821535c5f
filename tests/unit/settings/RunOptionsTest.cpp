// The launcher's command line as an administrator writes it: which options it takes, and the
// exact parameter text the installer is started with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/RunOptions.h"

namespace {

TRunOptions Parse(const std::vector<std::string>& args) {
  std::vector<TPath> paths;
  for (const std::string& a : args) paths.push_back(TPath::FromNative(a));
  return ParseRunOptions(paths);
}

/// What a quiet or passive run puts before the arguments handed on.
std::string Quiet(const std::string& rest) {
  std::string line = kInstallerQuietArguments;
  if (*kInstallerNoRestartArgument) line += std::string(line.empty() ? "" : " ") + kInstallerNoRestartArgument;
  return line.empty() ? rest : rest.empty() ? line : line + " " + rest;
}

TEST(RunOptions, OptionsAnywhereInAnyCaseAndTheRestHandedOnExactly) {
  struct Case {
    std::vector<std::string> args;
    TRunMode mode;
    bool skip;
    std::string log, parameters;
  };
  const Case cases[] = {
      // One argument goes as it always has, unquoted: NSIS reads /D= to the end of the line.
      {{"/D=C:\\Program Files\\Parvalo"}, rmInteractive, false, "", "/D=C:\\Program Files\\Parvalo"},
      {{}, rmInteractive, false, "", ""},
      {{"-Quiet", "/D=C:\\Program Files\\Parvalo"}, rmQuiet, false, "", Quiet("/D=C:\\Program Files\\Parvalo")},
      {{"/passive", "/QUIET"}, rmQuiet, false, "", Quiet("")},
      {{"/LOG", "C:\\张伟 日志\\a.log", "/passive", "-skipcheck"}, rmPassive, true, "C:\\张伟 日志\\a.log", Quiet("")},
      {{"/log=x.log", "/quite"}, rmInteractive, false, "x.log", "/quite"},
      // Two or more: each quoted where the installer's split needs it, backslashes before a
      // quote (and before the closing one) doubled.
      {{"a", "two words", "say \"hi\"", "C:\\end slash\\", "", "x\\\\\"y"},
       rmInteractive,
       false,
       "",
       "a \"two words\" \"say \\\"hi\\\"\" \"C:\\end slash\\\\\" \"\" \"x\\\\\\\\\\\"y\""},
  };
  for (const Case& c : cases) {
    const TRunOptions o = Parse(c.args);
    const std::string line = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(o.Mode, c.mode) << line;
    EXPECT_EQ(o.SkipCheck, c.skip) << line;
    EXPECT_EQ(o.LogFile.Native(), c.log) << line;
    EXPECT_EQ(InstallerParameters(o).Native(), c.parameters) << line;
    EXPECT_TRUE(o.Problem.empty() && !o.Help) << line;
  }
}

TEST(RunOptions, HelpAndALogWithoutItsPathAreToldNotRun) {
  EXPECT_TRUE(Parse({"/D=x", "/?"}).Help);
  EXPECT_TRUE(Parse({"-HELP"}).Help);
  EXPECT_FALSE(Parse({"/log"}).Problem.empty());
  EXPECT_FALSE(Parse({"/quiet", "/log="}).Problem.empty());
}

}  // namespace
