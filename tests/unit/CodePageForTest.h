#pragma once
// Reads texts as a double-byte (code page 936) or single-byte system would, for the life of the
// object; the setting before it comes back afterwards.
#include "base/SysUtils.h"

class CodePageForTest {
 public:
  explicit CodePageForTest(bool doubleByte) : saved_(DoubleByteCodePage()) { SetDoubleByteCodePage(doubleByte); }
  ~CodePageForTest() { SetDoubleByteCodePage(saved_); }
  CodePageForTest(const CodePageForTest&) = delete;
  CodePageForTest& operator=(const CodePageForTest&) = delete;

 private:
  bool saved_;
};
