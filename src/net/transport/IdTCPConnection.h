#pragma once
// A TCP connection as a byte stream: the input buffer fed from the I/O handler, line,
// counted and stream reads, writes with an optional write buffer, the checks that notice a
// closed link, and closing.
#include <cstdint>
#include <memory>
#include <string>

#include "base/Classes.h"
#include "net/transport/IdBuffer.h"
#include "net/transport/IdComponent.h"
#include "net/transport/IdIOHandler.h"
#include "net/transport/IdStack.h"

class TIdIOHandlerSocket;

/// Hooks that see a connection's bytes; none is set in this program.
class TIdConnectionIntercept : public TIdComponent {
 public:
  virtual void Connect(class TIdTCPConnection* connection) { (void)connection; }
  virtual void Disconnect() {}
  /// May change the received chunk (and its size).
  virtual void Receive(TIdSimpleBuffer& buffer) { (void)buffer; }
  /// May change the bytes about to be sent (and their size).
  virtual void Send(TIdSimpleBuffer& buffer) { (void)buffer; }
};

enum TIdMaxLineAction { maException, maSplit };

constexpr int IdMaxLineLengthDefault = 16384;
constexpr int IdRecvBufferSizeDefault = 32768;
constexpr int IdSendBufferSizeDefault = 32768;

class TIdTCPConnection : public TIdComponent {
 public:
  TIdTCPConnection();
  /// Drops the socket, destroys an owned handler, then the buffers.
  ~TIdTCPConnection() override;

  // ---- handler ---------------------------------------------------------------------------
  TIdIOHandler* IOHandler() const { return ioHandler_; }
  /// The handler as a socket handler, when it is one.
  TIdIOHandlerSocket* Socket() const { return ioHandler_ ? ioHandler_->AsSocketHandler() : nullptr; }
  /// Destroys a handler the connection owns, then uses `handler` (not owned).
  void SetIOHandler(TIdIOHandler* handler);
  /// Uses `handler` and owns it.
  void SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler);
  bool OwnsIOHandler() const { return ownedHandler_ != nullptr; }
  TIdConnectionIntercept* Intercept() const { return intercept_; }
  void SetIntercept(TIdConnectionIntercept* intercept);

  // ---- lifecycle -------------------------------------------------------------------------
  virtual void NotifyDisconnected();
  /// Empties the input buffer and forgets a peer close.
  virtual void ResetReadState();
  /// Runs the link-state check without raising, then: a handler with a socket.
  virtual bool IsConnected();
  /// Reports, drops the socket, destroys an owned handler, notifies.
  virtual void CloseConnection();
  /// Marks the peer closed and closes the handler's socket.
  virtual void DropSocket();
  /// CloseConnection, or only DropSocket where no event may be raised any more (a destructor),
  /// with any failure dropped: the clean-up of a failure already on its way, whose own failure
  /// must not replace it, or of a destructor, which has nobody to tell.
  void CloseQuietly() noexcept;
  void DropSocketQuietly() noexcept;

  // ---- reading ---------------------------------------------------------------------------
  /// Receives one chunk into the input buffer: bytes appended, 0 when the link closed, -1
  /// when the time limit passed without raising.
  virtual int FillInputBuffer(bool raiseIfDisconnected = true, int timeout = IdTimeoutDefault,
                              bool raiseOnTimeout = true);
  /// Turns a noticed peer close into a local close; raises EIdConnClosedGracefully when asked
  /// and the link is closed with nothing (or, ignoring buffered data, anything) left to read.
  virtual void CheckLinkState(bool raiseIfDisconnected = true, bool ignoreBuffered = true);
  /// Notices a peer that has closed, waiting at most 1 ms.
  virtual void PollPeerClosed(bool raiseIfDisconnected = true);
  /// One line without its terminator (and without a CR before an LF terminator).
  /// maximum -1: MaxLineLength; 0: no limit. Returns "" when the peer closed before a
  /// terminator came (the bytes stay buffered).
  virtual std::string ReadLine(const std::string& terminator = "\n", int timeout = IdTimeoutDefault, int maximum = -1);
  /// Exactly count bytes.
  void ReadExact(void* buffer, int count);
  /// count bytes (count -1: a 4-byte length in network order first) into the stream, or
  /// everything until the peer closes. A close before the count raises
  /// EIdConnClosedGracefully; the bytes read so far stay in the stream.
  void ReadIntoStream(TStream& stream, std::int64_t count = -1, bool untilClosed = false);
  /// Everything until the peer closes.
  virtual std::string ReadUntilClosed();
  /// What one receive brings, plus what was buffered.
  std::string TakeAvailable();
  std::int32_t ReadInt32(bool networkOrder = true);
  /// Up to `tries` lines until one is not blank; the trimmed line.
  std::string ReadNonEmptyLine(int tries);

  /// Runs before each step of a read, whether it waits or finds its bytes buffered: lets the
  /// thread's while-waiting hook in when it is due (AnswerWhileWorking), since a stream that
  /// keeps coming never waits; a client with limits of its own checks them here too.
  virtual void BeforeReadStep();

  /// Unread bytes of the input buffer.
  TIdManagedBuffer& InputBuffer() { return *inputBuffer_; }

  // ---- writing ---------------------------------------------------------------------------
  virtual void WriteText(const std::string& text);
  virtual void WriteLine(const std::string& text);
  void WriteBytes(const void* buffer, int count, bool sendNow = false);
  virtual void WriteFromStream(TStream& stream, bool fromStart = true, bool sendLengthFirst = false,
                               std::int64_t size = 0);
  void WriteInt32(std::int32_t value, bool networkOrder = true);
  /// Collects writes until EndWriteBuffering; threshold > 0 sends whenever that many bytes
  /// are collected, -1 never early.
  void BeginWriteBuffering(int threshold = -1);
  /// Sends what was collected, then stops collecting (also when the send raises).
  void EndWriteBuffering();
  /// Sends the first `count` collected bytes (-1: all).
  void FlushWriteBuffering(int count = -1);
  void DiscardWriteBuffering();
  bool WriteBuffering() const { return writeBuffer_ != nullptr; }

  int RecvBufferSize = IdRecvBufferSizeDefault;
  int SendBufferSize = IdSendBufferSizeDefault;
  int MaxLineLength = IdMaxLineLengthDefault;
  TIdMaxLineAction MaxLineAction = maException;
  /// Milliseconds; 0 waits without limit.
  int ReadTimeout = 0;
  bool ASCIIFilter = false;
  TIdNotifyEvent OnDisconnected;

 protected:
  void Notification(TIdBaseComponent* component, TOperation operation) override;
  bool PeerClosed() const { return peerClosed_; }
  void SetPeerClosed(bool closed) { peerClosed_ = closed; }

 private:
  TIdIOHandler* ioHandler_ = nullptr;
  std::unique_ptr<TIdIOHandler> ownedHandler_;
  TIdConnectionIntercept* intercept_ = nullptr;
  bool peerClosed_ = false;
  std::unique_ptr<TIdManagedBuffer> inputBuffer_;
  std::unique_ptr<TIdSimpleBuffer> recvBuffer_;
  std::unique_ptr<TIdSimpleBuffer> writeBuffer_;
  int writeBufferThreshold_ = 0;
};
