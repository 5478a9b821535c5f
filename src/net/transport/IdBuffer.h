#pragma once
// Byte buffers of a connection: the plain one (write buffer, receive chunk) and the managed
// input buffer that is consumed from the front without moving memory on every read.
#include <cstdint>
#include <functional>
#include <string>

#include "base/Classes.h"

class TIdSimpleBuffer;
using TIdRemovalNotice = std::function<void(TIdSimpleBuffer* sender, int count)>;

class TIdSimpleBuffer : public TMemoryStream {
 public:
  /// The first n bytes as a string, removed from the buffer.
  /// EIdNotEnoughDataInBuffer when fewer are held.
  std::string ExtractBytes(int n);
  /// Drops the first n bytes (EIdNotEnoughDataInBuffer when fewer are held), then calls
  /// RemovalNotice.
  void RemoveBytes(int n);
  /// Frees the block; size and position 0. Calls no notice.
  virtual void Clear();
  /// The first byte held.
  virtual char* Memory() { return Data().empty() ? nullptr : &Data()[0]; }

  TIdRemovalNotice RemovalNotice;

 protected:
  void CheckAvailable(int n);
  /// Drops the first n bytes, fewer than are held.
  virtual void DropFront(int n);
};

class TIdManagedBuffer : public TIdSimpleBuffer {
 public:
  /// Consumed bytes at the front are moved out once this many have gathered.
  static constexpr int CompactThreshold = 32768;

  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  /// Unread bytes.
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;
  void Clear() override;
  /// The first unread byte.
  char* Memory() override;
  /// Appends bytes after the last unread byte.
  void Append(const void* bytes, int count);
  /// Room for `count` more bytes after the last unread one: returns where to write them;
  /// CommitAppend(n) then keeps the first n of them.
  char* ReserveAppend(int count);
  void CommitAppend(int reserved, int used);

  int ConsumedCount() const { return consumed_; }

 private:
  void DropFront(int n) override;
  void CompactBuffer();
  int consumed_ = 0;
};
