// Which entry names may be written: only plain files at or below the target folder.
#include <gtest/gtest.h>

#include <string>

#include "CodePageForTest.h"
#include "archive/ArchiveFormat.h"

TEST(EntryNames, PlainAndNestedRelativeNamesAreAccepted) {
  for (const std::string name :
       {"instTQ.exe", "a", "readme.txt", "sub\\file.dll", "sub/file.dll", "x.tar.gz", ".hidden", "name with blanks.txt",
        "COM10", "console.log", "nullable.txt", "LPT", "\xB0\xB2\xD7\xB0.exe" /* 安装.exe */})
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
}

TEST(EntryNames, NamesLeavingTheTargetFolderAreRefused) {
  for (const std::string name :
       {"..", "..\\evil.exe", "../evil.exe", "sub\\..\\..\\evil.exe", "sub/../../evil.exe", "a\\..", "\\evil.exe",
        "/etc/passwd", "\\\\server\\share\\evil.exe", "\\\\?\\C:\\evil.exe", "\\\\.\\PhysicalDrive0",
        "C:\\Windows\\evil.exe", "C:evil.exe", "c:/x", "file.txt:stream"})
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
}

TEST(EntryNames, DeviceNamesAreRefusedWithOrWithoutExtension) {
  for (const std::string name : {"CON", "con", "NUL", "nul.txt", "PRN", "AUX.dat", "COM1", "com9.log", "LPT1",
                                 "lpt3.txt", "COM1 .txt", "sub\\NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
}

TEST(EntryNames, TrailingDotsBlanksAndEmptyPartsAreRefused) {
  for (const std::string name : {"", ".", "name.", "name ", "sub.\\x", "sub \\x", "sub\\", "a\\\\b", "a//b"})
    EXPECT_FALSE(IsSafeEntryName(name)) << '"' << name << '"';
}

TEST(EntryNames, ControlCharactersAndWildcardsAreRefused) {
  for (const std::string& name :
       {std::string("a\0b", 3), std::string("a\nb"), std::string("tab\t"), std::string("del\x7F"), std::string("a*b"),
        std::string("a?b"), std::string("a<b"), std::string("a>b"), std::string("a|b"), std::string("a\"b")})
    EXPECT_FALSE(IsSafeEntryName(name));
}

TEST(EntryNames, OverlongNamesAreRefused) {
  EXPECT_TRUE(IsSafeEntryName(std::string(kMaxEntryNameLength, 'a')));
  EXPECT_FALSE(IsSafeEntryName(std::string(kMaxEntryNameLength + 1, 'a')));
}

TEST(EntryNames, AreSteppedAsCodePage936OnEverySystem) {
  // Entry names are code page 936 texts whatever the system's code page. "\xB1\x5C" and
  // "\xD7\x7C" are characters of it whose trail bytes have the values of a backslash and of
  // "|"; 東方.dll and 億.txt are "\x96\x7C\xB7\xBD.dll" and "\x83\x7C.txt". And "\xCF\x83\x5C"
  // "CON" is a character, then a separator and a device name: a system of code page 932 would
  // read "\x83\x5C" as one character and see no separator.
  for (unsigned system : {936u, 1252u, 932u, 949u}) {
    CodePageForTest systemCodePage(system);
    for (const std::string name : {"\xD7\x7C.exe", "a\xB1\x5C", "sub\\\xB1\x5C.exe", "\xB1\x5C\\\xD7\x7C.dll",
                                   "\x96\x7C\xB7\xBD.dll", "\x83\x7C.txt"})
      EXPECT_TRUE(IsSafeEntryName(name)) << name << " under " << system;
    // A real separator after such a character still separates.
    for (const std::string name : {"\xB1\x5C\\..\\evil.exe", "\xB1\x5C\\", "\xB1\x5C|x",
                                   "\xCF\x83\x5C"
                                   "CON"})
      EXPECT_FALSE(IsSafeEntryName(name)) << name << " under " << system;
  }
}
