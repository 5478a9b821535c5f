// The archive reader over archives held in memory: whatever the bytes, it must neither crash,
// hang, leak nor allocate without bound, must hand out only names that pass the name check,
// must never write more than an entry's size, and must write exactly that when it succeeds.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "archive/ArchiveReader.h"

namespace {

struct TWritten {
  std::int32_t size;
  std::int64_t count = 0;
};

// Counts what an entry writes and keeps nothing.
class TCountingStream : public TStream {
 public:
  explicit TCountingStream(TWritten& record) : record_(record) {}
  int Read(void*, int) override { return 0; }
  int Write(const void*, int count) override {
    record_.count += count;
    if (record_.count > record_.size) std::abort();  // more than the entry's size
    return count;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return record_.count; }

 private:
  TWritten& record_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream archive(std::string(reinterpret_cast<const char*>(data), size));
  std::deque<TWritten> written;  // references stay valid as it grows
  bool whole = false;
  try {
    UnpackArchive(archive, [&written](const TArchiveEntry& e) {
      if (!IsSafeEntryName(e.name) || e.size < 0) std::abort();
      written.push_back({e.size});
      return std::make_unique<TCountingStream>(written.back());
    });
    whole = true;
  } catch (const Exception&) {
    // Malformed input is reported as an error; that is the expected outcome for most inputs.
  }
  if (whole) {
    for (const auto& w : written)
      if (w.count != w.size) std::abort();
  }
  return 0;
}
