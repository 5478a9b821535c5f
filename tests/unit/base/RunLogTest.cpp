#include <gtest/gtest.h>

#include "TestFiles.h"
#include "base/RunLog.h"

namespace {

/// The run's log in a folder of the test's own, closed again at the end.
class RunLogIn {
 public:
  explicit RunLogIn(const TPath& folder) { OpenRunLog(folder); }
  ~RunLogIn() { CloseRunLog(); }
  RunLogIn(const RunLogIn&) = delete;
  RunLogIn& operator=(const RunLogIn&) = delete;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

}  // namespace

// A support desk asks for the latest logs; the folder must not fill up with one per run, and
// nothing but the program's own logs may ever be deleted there.
TEST(RunLog, KeepsTheTenNewestLogsAndNothingElseGoes) {
  testfiles::TempDir dir;
  std::vector<std::string> old;
  for (int day = 10; day < 22; ++day) old.push_back("setupTQ-201901" + std::to_string(day) + "-101500-4" + ".log");
  const std::vector<std::string> others = {"setupTQ-notes.log", "setupTQ-20190101-101500-4.log.txt",
                                           "setupTQ-2019010-101500-4.log", "report.log"};
  for (const std::string& name : old) testfiles::WriteFile(dir / name, "an earlier run");
  for (const std::string& name : others) testfiles::WriteFile(dir / name, "the user's");
  RunLogIn log(dir.Path());

  const std::string own = RunLogPath().Native().substr(dir.Path().Native().size() + 1);
  std::vector<std::string> expected(old.end() - (kRunLogsKept - 1), old.end());
  expected.insert(expected.end(), others.begin(), others.end());
  expected.push_back(own);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Names(), expected);
}

// The log is read by people far from the user: a byte-order mark so that Notepad takes it as
// UTF-8, one event a line whatever a server sent, and no more than its limit however much the
// run says.
TEST(RunLog, StaysReadableAndWithinItsLimit) {
  testfiles::TempDir dir;
  RunLogIn log(dir.Path());
  LogLine("reply \"ab\r\ncd\x1b[2J\xff\xc3\" from \xE9\x95\x9C\xE5\x83\x8F");  // UTF-8 of 镜像
  const std::string start = testfiles::ReadFile(RunLogPath());
  ASSERT_EQ(start.substr(0, 3), "\xEF\xBB\xBF");
  const std::vector<std::string> lines = Lines(start);
  ASSERT_EQ(lines.size(), 4u);  // the program, its path, the system, and the line above
  EXPECT_NE(lines[0].find("process "), std::string::npos) << lines[0];
  EXPECT_NE(lines[2].find(" dpi"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3].substr(lines[3].find(" ms  ")),
            " ms  reply \"ab | cd\\x1B[2J\\xFF\\xC3\" from \xE9\x95\x9C\xE5\x83\x8F");

  const std::string kilobyte(1000, 'x');
  for (int i = 0; i < 1030; ++i) LogLine(kilobyte);  // a few kilobytes short of the limit
  for (int i = 0; i < 1000; ++i) LogLine("x");       // then lines to its last bytes
  const std::string whole = testfiles::ReadFile(RunLogPath());
  EXPECT_LE(static_cast<std::int64_t>(whole.size()), kRunLogMaxBytes);
  EXPECT_GT(static_cast<std::int64_t>(whole.size()), kRunLogMaxBytes - 2 * 1024);
  EXPECT_NE(Lines(whole).back().find("the log ends here"), std::string::npos);
}

// A server's text may hold characters that some viewers take as a line break (NEL, the line and
// paragraph separators) or as an order of display (the bidirectional controls): each is
// written as its code point, so that no server can start what looks like a line of its own or
// turn a line around. Their neighbours in Unicode pass unchanged.
TEST(RunLog, NoServerTextStartsALineOrReordersOne) {
  struct Case {
    const char* sent;
    const char* logged;
  };
  // clang-format off
  const Case cases[] = {
      {"\xC2\x80", "\\u0080"}, {"\xC2\x85", "\\u0085"},  // the first C1 control, NEXT LINE
      {"\xC2\x9B", "\\u009B"}, {"\xC2\x9F", "\\u009F"},  // CSI, the last C1 control
      {"\xD8\x9C", "\\u061C"},                           // ARABIC LETTER MARK
      {"\xE2\x80\x8E", "\\u200E"}, {"\xE2\x80\x8F", "\\u200F"},  // left-to-right and right-to-left marks
      {"\xE2\x80\xA8", "\\u2028"}, {"\xE2\x80\xA9", "\\u2029"},  // LINE and PARAGRAPH SEPARATOR
      {"\xE2\x80\xAA", "\\u202A"}, {"\xE2\x80\xAB", "\\u202B"}, {"\xE2\x80\xAC", "\\u202C"},  // embeddings, pop
      {"\xE2\x80\xAD", "\\u202D"}, {"\xE2\x80\xAE", "\\u202E"},  // the overrides
      {"\xE2\x81\xA6", "\\u2066"}, {"\xE2\x81\xA7", "\\u2067"}, {"\xE2\x81\xA8", "\\u2068"},  // isolates
      {"\xE2\x81\xA9", "\\u2069"},                       // POP DIRECTIONAL ISOLATE
      {"\xC2\xA0", "\xC2\xA0"}, {"\xE2\x80\xA7", "\xE2\x80\xA7"},  // the neighbours: no-break space,
      {"\xE2\x80\xAF", "\xE2\x80\xAF"}, {"\xE2\x81\xAA", "\xE2\x81\xAA"},  // U+2027, U+202F, U+206A
  };
  // clang-format on
  testfiles::TempDir dir;
  RunLogIn log(dir.Path());
  for (const Case& c : cases) LogLine(std::string("status 500 <") + c.sent + "> end");
  const std::vector<std::string> lines = Lines(testfiles::ReadFile(RunLogPath()));
  ASSERT_EQ(lines.size(), 3 + std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string& line = lines[3 + i];
    EXPECT_EQ(line.substr(line.find(" ms  ") + 5), std::string("status 500 <") + cases[i].logged + "> end") << i;
  }
}

// Without a log (a temporary folder that cannot be written), the run goes on and its error
// boxes name no file.
TEST(RunLog, NoFolderNoLogAndTheRunGoesOn) {
  testfiles::TempDir dir;
  RunLogIn log(dir / "gone");
  LogLine("an event");
  EXPECT_TRUE(RunLogPath().Empty());
  EXPECT_EQ(platform::MessageText(NameRunLog(TText("无法保存安装包。"))), TText("无法保存安装包。"));
}
