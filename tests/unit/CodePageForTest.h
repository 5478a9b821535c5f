#pragma once
// Reads texts as a system of another code page would (CharLength), for the life of the
// object; the setting before it comes back afterwards.
#include "base/SysUtils.h"

class CodePageForTest {
 public:
  explicit CodePageForTest(unsigned codePage) : saved_(TextCodePage()) { SetTextCodePage(codePage); }
  ~CodePageForTest() { SetTextCodePage(saved_); }
  CodePageForTest(const CodePageForTest&) = delete;
  CodePageForTest& operator=(const CodePageForTest&) = delete;

 private:
  unsigned saved_;
};
