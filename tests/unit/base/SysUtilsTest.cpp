#include <gtest/gtest.h>

#include "base/Classes.h"
#include "CodePageForTest.h"
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
    TFileStream f("no-such-dir/none.bin", platform::FileAccess::Read, platform::FileShare::None,
                  platform::FileCreate::OpenExisting);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"", 0), 0u);
    EXPECT_NE(e.Message().find("none.bin\". "), std::string::npos);
  }
}

// ---- double-byte characters ----------------------------------------------------------------
// "\xB1\x5C" and "\xD7\x7C" are single characters of code page 936 whose trail bytes have the
// values of a backslash and of "|".


TEST(DoubleByte, ATrailByteIsNeverAPathDelimiter) {
  EXPECT_EQ(ExtractFilePath("C:\\\xB1\x5C\\setupTQ.exe"), "C:\\\xB1\x5C\\");
  EXPECT_EQ(ExtractFilePath("C:\\setup\\\xB1\x5C.exe"), "C:\\setup\\");
  EXPECT_EQ(ExtractFilePath("\xB1\x5Csetup.exe"), "");
  EXPECT_EQ(ExtractFilePath("/home/u/\xB1\x5C/setupTQ.exe"), "/home/u/\xB1\x5C/");
  EXPECT_EQ(LastDelimiter("|", "a|\xD7\x7C"), 1u);
  EXPECT_EQ(LastDelimiter("|", "\xD7\x7C"), std::string::npos);
}

TEST(DoubleByte, OnlyALeadAndATrailByteMakeOneCharacter) {
  // Pairs are counted from the start: the third byte here is a character of its own.
  EXPECT_EQ(LastDelimiter("\\", "\xB1\xB1\x5C"), 2u);
  // A lead byte before a byte that cannot follow it, or at the end, stands alone.
  EXPECT_EQ(LastDelimiter(":", "\xB1:"), 1u);
  EXPECT_EQ(LastDelimiter("\\", "\xB1\x7F\\"), 2u);
  EXPECT_EQ(CharLength("a\xB1", 1), 1u);
  EXPECT_EQ(ExtractFilePath("C:"), "C:");
}

TEST(DoubleByte, ASingleByteSystemTakesEveryByteAsACharacter) {
  CodePageForTest singleByte(false);
  EXPECT_EQ(ExtractFilePath("C:\\setup\\\xB1\x5C.exe"), "C:\\setup\\\xB1\x5C");
  EXPECT_EQ(LastDelimiter("|", "\xD7\x7C"), 1u);
}
