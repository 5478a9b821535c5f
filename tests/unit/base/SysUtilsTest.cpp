#include <gtest/gtest.h>

#include "CodePageForTest.h"
#include "base/Classes.h"
#include "base/SysUtils.h"

TEST(Text, TrimAndCaseTouchOnlyBlanksAndAsciiLetters) {
  EXPECT_EQ(Trim(std::string("\x01 \tAbc\r\n ", 9)), "Abc");
  EXPECT_EQ(Trim("   "), "");
  // The second byte of a double-byte character may be an ASCII letter's value: untouched only
  // where it is not 'A'..'Z' / 'a'..'z'; lead bytes (>= 0x81) never change.
  EXPECT_EQ(LowerCase("\xB0\xA1Q"), "\xB0\xA1q");
  EXPECT_EQ(UpperCase("md5 : ab"), "MD5 : AB");
}

TEST(Text, ReplaceAllDoesNotRescanReplacedText) {
  EXPECT_EQ(StringReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(StringReplaceAll("\\\\$", "\\$", "$"), "\\$");
}

TEST(Text, ErrorBoxAddsPeriodOnlyAfterLettersAndDigits) {
  EXPECT_EQ(ErrorBoxText("Socket Error # 10061"), "Socket Error # 10061.");
  EXPECT_EQ(ErrorBoxText("Disconnected."), "Disconnected.");
  EXPECT_EQ(ErrorBoxText("done!"), "done!");
}

// The program's own texts end their sentences with double-byte characters; nothing is added
// after them, on any system code page. A single byte after a double-byte character still counts.
TEST(Text, ErrorBoxAddsNoPeriodAfterADoubleByteCharacter) {
  EXPECT_EQ(ErrorBoxText("安装包已损坏，请重新下载安装程序。"), "安装包已损坏，请重新下载安装程序。");
  EXPECT_EQ(ErrorBoxText("无法解压（Brenlow）"), "无法解压（Brenlow）");
  EXPECT_EQ(ErrorBoxText("拒绝访问"), "拒绝访问");
  EXPECT_EQ(ErrorBoxText("拒绝访问 5"), "拒绝访问 5.");
  CodePageForTest singleByteSystem(false);
  EXPECT_EQ(ErrorBoxText("请重新下载。"), "请重新下载。");
}

// A message that ends with the system's words (UTF-8 here) follows the same rule: a period
// after an ASCII letter, none after one it has or after a character of another script.
TEST(Text, ErrorBoxOfAJoinedMessageLooksAtItsLastPart) {
  const auto boxed = [](const TDisplayText& m) { return platform::MessageNative(ErrorBoxMessage(m)); };
  const TDisplayText ours = "\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB";  // 无法写入, code page 936
  EXPECT_EQ(boxed(ours + TDisplayText::FromSystem("Access is denied")),
            "\xE6\x97\xA0\xE6\xB3\x95\xE5\x86\x99\xE5\x85\xA5"
            "Access is denied.");
  EXPECT_EQ(boxed(TDisplayText::FromSystem("Access is denied.")), "Access is denied.");
  EXPECT_EQ(boxed(TDisplayText::FromSystem("\xEC\xA0\x91\xEA\xB7\xBC")), "\xEC\xA0\x91\xEA\xB7\xBC");  // 접근
  EXPECT_EQ(boxed(TDisplayText::FromSystem("x") + "\xA1\xA3"), "x\xE3\x80\x82");  // ending in our 。
  EXPECT_EQ(boxed(TDisplayText::FromSystem("x") + " 5"), "x 5.");
}

TEST(Numbers, ZeroPaddingCountsTheSignAndNeverCutsDigits) {
  EXPECT_EQ(IntToStrZeroPadded(7, 2), "07");
  EXPECT_EQ(IntToStrZeroPadded(987, 4), "0987");
  EXPECT_EQ(IntToStrZeroPadded(2011, 2), "2011");
  EXPECT_EQ(IntToStrZeroPadded(0, 2), "00");
  EXPECT_EQ(IntToStrZeroPadded(-5, 3), "-05");
  EXPECT_EQ(IntToStrZeroPadded(-2147483647 - 1, 0), "-2147483648");
}

TEST(Numbers, FixedPointRoundsTheStoredValueAndCarriesIntoTheWholePart) {
  EXPECT_EQ(FloatToStrFixed(static_cast<double>(3.6f), 1), "3.6");  // stored as 3.5999999...
  EXPECT_EQ(FloatToStrFixed(2.0, 1), "2.0");
  EXPECT_EQ(FloatToStrFixed(9.96, 1), "10.0");
  EXPECT_EQ(FloatToStrFixed(0.04, 1), "0.0");
  EXPECT_EQ(FloatToStrFixed(1.005, 2), "1.00");  // the stored value lies below 1.005
  EXPECT_EQ(FloatToStrFixed(12.3456, 3), "12.346");
  EXPECT_EQ(FloatToStrFixed(-1.26, 1), "-1.3");
  EXPECT_EQ(FloatToStrFixed(-0.01, 1), "-0.0");
  EXPECT_EQ(FloatToStrFixed(7.7, 0), "8");
}

TEST(Streams, CopyFromRaisesOnShortSourceAndKeepsWholeChunksOnly) {
  TMemoryStream src(std::string(70000, 'x'));
  TMemoryStream dst;
  EXPECT_THROW(dst.CopyFrom(src, 70001), EReadError);
  EXPECT_EQ(dst.Size(), 61440);  // the first chunk was read in full and written
}

TEST(Streams, FileOpenErrorNamesTheFile) {
  try {
    TFileStream f(TPath::FromNative("no-such-dir/none.bin"), platform::FileAccess::Read, platform::FileShare::None,
                  platform::FileCreate::OpenExisting);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"", 0), 0u);
    EXPECT_NE(e.Message().find("none.bin\". "), std::string::npos);
  }
}

// ---- double-byte characters ----------------------------------------------------------------

TEST(DoubleByte, EachSystemStepsOverItsOwnLeadBytes) {
  // Characters whose second byte has the value of a backslash: 0xB1 0x5C in code page 936,
  // 0x83 0x5C in 932 (katakana so), 0xA5 0x5C in 950; "\xD7\x7C" is one whose second byte is "|".
  for (unsigned cp : {936u, 949u, 950u}) {
    EXPECT_EQ(CharLengthIn(cp, "\xB1\x5C", 0), 2u) << cp;
    EXPECT_EQ(CharLengthIn(cp, "\xA5\x5C", 0), 2u) << cp;
    EXPECT_EQ(CharLengthIn(cp, "\xD7\x7C", 0), 2u) << cp;
  }
  EXPECT_EQ(CharLengthIn(932, "\x83\x5C", 0), 2u);
  EXPECT_EQ(CharLengthIn(932, "\xE0\x5C", 0), 2u);
  // 0xA0-0xDF are single-byte katakana in 932: no lead bytes there.
  EXPECT_EQ(CharLengthIn(932, "\xA5\x5C", 0), 1u);
  EXPECT_EQ(CharLengthIn(932, "\xB1\x5C", 0), 1u);
  // A system without double-byte characters takes every byte as one.
  EXPECT_EQ(CharLengthIn(1252, "\xB1\x5C", 0), 1u);
  // A lead byte before a byte that cannot follow it, or at the end, stands alone.
  EXPECT_EQ(CharLengthIn(936, "\xB1\x7F", 0), 1u);
  EXPECT_EQ(CharLengthIn(936, "\xB1:", 0), 1u);
  EXPECT_EQ(CharLengthIn(936, "a\xB1", 1), 1u);
}

TEST(DoubleByte, TheProgramsTextsAreReadAsCodePage936OnEverySystem) {
  CodePageForTest english(1252);
  EXPECT_EQ(CharLength("\xB1\x5C", 0), 1u);
  EXPECT_EQ(ProgramCharLength("\xB1\x5C", 0), 2u);
  CodePageForTest japanese(932);
  EXPECT_EQ(ProgramCharLength("\xA5\x5C", 0), 2u);
}

TEST(Paths, AreCutAtEveryDelimiterByte) {
  // Paths hold no double-byte characters (UTF-8 on Windows), so every backslash byte is a
  // delimiter, whatever the system's code page: a folder named 张伟 or テストソ keeps its name.
  const std::string zhangWei = "\xE5\xBC\xA0\xE4\xBC\x9F",
                    tesutoSo = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x82\xBD";
  const auto folderOf = [](const std::string& path) { return ExtractFilePath(TPath::FromNative(path)).Native(); };
  for (unsigned cp : {936u, 932u, 950u, 1252u}) {
    CodePageForTest system(cp);
    EXPECT_EQ(folderOf("C:\\Users\\" + zhangWei + "\\setupTQ.exe"), "C:\\Users\\" + zhangWei + "\\") << cp;
    EXPECT_EQ(folderOf("C:\\" + tesutoSo + "\\setupTQ.exe"), "C:\\" + tesutoSo + "\\") << cp;
    EXPECT_EQ(folderOf("/home/" + tesutoSo + "/setupTQ.exe"), "/home/" + tesutoSo + "/") << cp;
  }
  EXPECT_EQ(folderOf("setup.exe"), "");
  EXPECT_EQ(folderOf("C:"), "C:");
}
