#include "net/transport/IdBuffer.h"

#include <algorithm>

#include "net/transport/IdException.h"

namespace {
// A cleared buffer keeps a block up to this size for the next fill instead of freeing it.
constexpr std::size_t kKeptCapacity = 65536;

void FreeBlock(std::string& block) {
  block.clear();
  if (block.capacity() > kKeptCapacity) block.shrink_to_fit();
}
}  // namespace

// ---- TIdSimpleBuffer ------------------------------------------------------------------------

void TIdSimpleBuffer::CheckAvailable(int n) {
  if (n < 0 || n > Size()) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
}

std::string TIdSimpleBuffer::ExtractBytes(int n) {
  CheckAvailable(n);
  std::string bytes(Memory() ? Memory() : "", static_cast<size_t>(n));
  RemoveBytes(n);
  return bytes;
}

void TIdSimpleBuffer::RemoveBytes(int n) {
  CheckAvailable(n);
  if (n == Size())
    Clear();
  else
    DropFront(n);
  if (RemovalNotice) RemovalNotice(this, n);
}

void TIdSimpleBuffer::DropFront(int n) {
  std::int64_t pos = Position();
  Data().erase(0, static_cast<size_t>(n));
  SetPosition(std::max<std::int64_t>(0, pos - n));
}

void TIdSimpleBuffer::Clear() {
  FreeBlock(Data());
  TMemoryStream::Seek(0, soBeginning);
}

// ---- TIdManagedBuffer -----------------------------------------------------------------------

std::int64_t TIdManagedBuffer::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t physical;
  if (origin == soBeginning)
    physical = TMemoryStream::Seek(std::max<std::int64_t>(0, offset) + consumed_, soBeginning);
  else
    physical = TMemoryStream::Seek(offset, origin);
  if (physical < consumed_) physical = TMemoryStream::Seek(consumed_, soBeginning);
  return physical - consumed_;
}

std::int64_t TIdManagedBuffer::Size() { return static_cast<std::int64_t>(Data().size()) - consumed_; }

void TIdManagedBuffer::SetSize(std::int64_t size) {
  TMemoryStream::SetSize(std::max<std::int64_t>(0, size) + consumed_);
}

char* TIdManagedBuffer::Memory() { return Data().empty() ? nullptr : &Data()[0] + consumed_; }

void TIdManagedBuffer::DropFront(int n) {
  consumed_ += n;
  if (consumed_ >= CompactThreshold) CompactBuffer();
}

void TIdManagedBuffer::Clear() {
  consumed_ = 0;
  TIdSimpleBuffer::Clear();
}

void TIdManagedBuffer::CompactBuffer() {
  std::int64_t logical = Position();
  Data().erase(0, static_cast<size_t>(consumed_));
  consumed_ = 0;
  TMemoryStream::Seek(std::max<std::int64_t>(0, logical), soBeginning);
}

void TIdManagedBuffer::Append(const void* bytes, int count) {
  if (count <= 0) return;
  TMemoryStream::Seek(0, soEnd);
  WriteBuffer(bytes, count);
}

char* TIdManagedBuffer::ReserveAppend(int count) {
  size_t end = Data().size();
  Data().resize(end + static_cast<size_t>(std::max(0, count)));
  return &Data()[0] + end;
}

void TIdManagedBuffer::CommitAppend(int reserved, int used) {
  Data().resize(Data().size() - static_cast<size_t>(reserved - std::max(0, used)));
  TMemoryStream::Seek(0, soEnd);
}
