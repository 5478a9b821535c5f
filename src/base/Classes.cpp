#include "base/Classes.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(std::int64_t) { throw EStreamError("Invalid stream operation"); }

void TStream::ReadBuffer(void* buffer, int count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  constexpr std::int64_t kMaxChunk = 61440;
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const std::int64_t total = count;
  std::vector<char> buffer(static_cast<size_t>(std::min(count, kMaxChunk)));
  while (count > 0) {
    int n = static_cast<int>(std::min(count, kMaxChunk));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return total;
}

int TMemoryStream::Read(void* buffer, int count) {
  if (count <= 0 || pos_ >= data_.size()) return 0;
  size_t n = std::min(static_cast<size_t>(count), data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return static_cast<int>(n);
}

int TMemoryStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  size_t n = static_cast<size_t>(count);
  if (pos_ + n > data_.size()) data_.resize(pos_ + n);
  std::memcpy(&data_[pos_], buffer, n);
  pos_ += n;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0
                      : origin == soCurrent ? static_cast<std::int64_t>(pos_)
                                            : static_cast<std::int64_t>(data_.size());
  std::int64_t p = base + offset;
  if (p < 0) p = 0;
  pos_ = static_cast<size_t>(p);
  return p;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<size_t>(size < 0 ? 0 : size));
  if (pos_ > data_.size()) pos_ = data_.size();
}

TFileStream::TFileStream(const TPath& path, platform::FileAccess access, platform::FileShare share,
                         platform::FileCreate create) {
  int error = 0;
  handle_ = platform::FileOpen(path, access, share, create, error);
  if (handle_ == platform::kInvalidFile) {
    const bool creating = create == platform::FileCreate::CreateAlways;
    TFileErrorText e = FileErrorText(creating ? "Cannot create file" : "Cannot open file", path, error);
    if (creating) throw EFCreateError(e.text, e.name, e.reason, e.whole);
    throw EFOpenError(e.text, e.name, e.reason, e.whole);
  }
}

TFileErrorText FileErrorText(const std::string& what, const TPath& path, int error) {
  // The text is one of the program (the path and the reason as such texts); `whole` keeps the
  // path and the system's reason whole for a message box.
  TFileErrorText e;
  e.name = platform::ExpandFileName(path);
  e.reason = platform::SystemErrorText(error);
  e.text = what + " \"" + platform::PathText(e.name).Bytes() + "\". " + platform::MessageText(e.reason).Bytes();
  e.whole = TDisplayText(what + " \"") + e.name + "\". " + e.reason;
  return e;
}

TFileStream::~TFileStream() { platform::FileClose(handle_); }

int TFileStream::Read(void* buffer, int count) {
  int n = platform::FileRead(handle_, buffer, count);
  if (n < 0) lastError_ = platform::LastFileError();
  return n < 0 ? 0 : n;
}

int TFileStream::Write(const void* buffer, int count) {
  // A short write (a disk filling up) is tried on, so that the failing call gives the reason.
  int done = 0;
  while (done < count) {
    const int n = platform::FileWrite(handle_, static_cast<const char*>(buffer) + done, count - done);
    if (n <= 0) {
      if (n < 0) lastError_ = platform::LastFileError();
      break;
    }
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  return platform::FileSeek(handle_, offset, static_cast<int>(origin));
}
