#pragma once
// A stream that takes every write and keeps nothing: the sink for checking an archive by
// inflating its entries.
#include "base/Classes.h"

class TNullStream : public TStream {
 public:
  int Read(void*, int) override { return 0; }
  int Write(const void*, int count) override { return count; }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
};
