#pragma once
// Streams: the general stream base with its read/write/seek slots, memory and file streams,
// and the copy rule every stream copy in the system follows.
#include <cstdint>
#include <string>

#include "base/SysUtils.h"
#include "platform/Platform.h"

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  /// Bytes delivered: count, or fewer at the end of the data.
  virtual int Read(void* buffer, int count) = 0;
  /// Bytes taken: count, or fewer when the medium is full.
  virtual int Write(const void* buffer, int count) = 0;
  /// The new position from the beginning.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t p) { Seek(p, soBeginning); }
  /// Found by seeking to the end and back; a stream that refuses the seek raises.
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size);

  /// Exactly count bytes, else EReadError "Stream read error".
  void ReadBuffer(void* buffer, int count);
  /// Exactly count bytes, else EWriteError "Stream write error".
  void WriteBuffer(const void* buffer, int count);
  /// Copies count bytes from source (0: the whole source from its beginning) in chunks of at
  /// most 61,440 bytes; each chunk is written only after it was read in full.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;
  const std::string& DataString() const { return data_; }
  std::string& Data() { return data_; }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

/// A file error's message: `what` ("Cannot create file"), the expanded path and the system's
/// reason for `error`, as a text of the program (`text`) and whole for a person (`whole`).
struct TFileErrorText {
  TPath name;
  TDisplayText reason;
  std::string text;
  TDisplayText whole;
};
TFileErrorText FileErrorText(const std::string& what, const TPath& path, int error);

/// A file on disk. Raises EFOpenError "Cannot open file "%s". %s" or
/// EFCreateError "Cannot create file "%s". %s" (expanded name, system text).
class TFileStream : public TStream {
 public:
  TFileStream(const TPath& path, platform::FileAccess access, platform::FileShare share, platform::FileCreate create);
  /// Takes over a file opened by the platform's calls (closed with the stream).
  explicit TFileStream(platform::FileHandle opened) : handle_(opened) {}
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  /// The system's code for the last read or write that failed (0: none did), for a message
  /// that says why ("No space left on device").
  int LastError() const { return lastError_; }

 private:
  platform::FileHandle handle_;
  int lastError_ = 0;
};
