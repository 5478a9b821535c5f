#include "net/transport/IdTCPConnection.h"

#include <algorithm>
#include <cstring>

#include "base/Quietly.h"
#include "base/ScopeExit.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdSharedStack.h"

namespace {

// A counted read presizes its target stream with at most this many bytes: the count comes
// from the peer and must not decide how much memory is taken before any byte has arrived.
constexpr std::int64_t kPresizeLimit = 1 << 20;

}  // namespace

TIdTCPConnection::TIdTCPConnection()
    : inputBuffer_(std::make_unique<TIdManagedBuffer>()), recvBuffer_(std::make_unique<TIdSimpleBuffer>()) {
  inputBuffer_->RemovalNotice = [this](TIdSimpleBuffer*, int count) { WorkAdvance(wmRead, count); };
}

TIdTCPConnection::~TIdTCPConnection() {
  DropSocketQuietly();
  SetIOHandler(nullptr);
  SetIntercept(nullptr);
}

// ---- handler ------------------------------------------------------------------------------------

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
  if (handler && handler == ioHandler_) return;
  if (ioHandler_ && !ownedHandler_) RemoveFreeNotification(ioHandler_);
  ownedHandler_.reset();  // its destruction clears ioHandler_ through Notification
  ioHandler_ = handler;
  if (handler) FreeNotification(handler);
}

void TIdTCPConnection::SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler) {
  SetIOHandler(handler.get());
  ownedHandler_ = std::move(handler);
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* intercept) {
  if (intercept_) RemoveFreeNotification(intercept_);
  intercept_ = intercept;
  if (intercept) FreeNotification(intercept);
}

void TIdTCPConnection::Notification(TIdBaseComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == ioHandler_) ioHandler_ = nullptr;
    if (component == intercept_) intercept_ = nullptr;
  }
  TIdComponent::Notification(component, operation);
}

// ---- lifecycle ----------------------------------------------------------------------------------

void TIdTCPConnection::NotifyDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::ResetReadState() {
  inputBuffer_->Clear();
  peerClosed_ = false;
}

bool TIdTCPConnection::IsConnected() {
  CheckLinkState(false, false);
  return ioHandler_ && ioHandler_->HasSocket();
}

void TIdTCPConnection::CloseConnection() {
  ReportStatus(hsDisconnecting);
  DropSocket();
  if (ownedHandler_) SetIOHandler(nullptr);
  NotifyDisconnected();
  ReportStatus(hsDisconnected);
}

void TIdTCPConnection::CloseQuietly() noexcept {
  Quietly([this] { CloseConnection(); });
}

void TIdTCPConnection::DropSocketQuietly() noexcept {
  Quietly([this] { DropSocket(); });
}

void TIdTCPConnection::DropSocket() {
  if (!ioHandler_) return;
  peerClosed_ = true;
  if (intercept_) intercept_->Disconnect();
  ioHandler_->CloseHandler();
}

// ---- reading ------------------------------------------------------------------------------------

void TIdTCPConnection::CheckLinkState(bool raiseIfDisconnected, bool ignoreBuffered) {
  if (!ioHandler_) return;
  const bool closed = peerClosed_ || !ioHandler_->HasSocket();
  if (peerClosed_ && ioHandler_->HasSocket()) {
    // A close the peer made, noticed by a receive or send, becomes our close.
    DropSocket();
    ReportStatus(hsDisconnected);
    NotifyDisconnected();
  }
  if (closed && raiseIfDisconnected && (inputBuffer_->Size() == 0 || ignoreBuffered))
    throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
}

int TIdTCPConnection::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) {
  if (timeout == IdTimeoutDefault) timeout = ReadTimeout == 0 ? IdTimeoutInfinite : ReadTimeout;
  CheckLinkState(raiseIfDisconnected, false);
  if (!IsConnected()) {
    if (raiseIfDisconnected) throw EIdNotConnected(RSNotConnected);
    return 0;
  }
  for (;;) {
    if (!ioHandler_->WaitReadable(timeout)) {
      if (raiseOnTimeout) throw EIdReadTimeout(RSReadTimeout);
      return -1;
    }
    int result = 0;
    const int size = std::max(1, RecvBufferSize);
    if (!ioHandler_) {
      if (raiseIfDisconnected) throw EIdNotConnected(RSNotConnected);
    } else if (intercept_) {
      recvBuffer_->SetSize(size);
      result = ioHandler_->ReceiveBytes(recvBuffer_->Memory(), size);
    } else {
      // Straight into the input buffer: the same bytes, one copy fewer.
      char* tail = inputBuffer_->ReserveAppend(size);
      try {
        result = ioHandler_->ReceiveBytes(tail, size);
      } catch (...) {
        inputBuffer_->CommitAppend(size, 0);
        throw;
      }
      inputBuffer_->CommitAppend(size, result > 0 ? result : 0);
      if (result > 0 && ASCIIFilter)
        for (int i = 0; i < result; ++i) tail[i] = static_cast<char>(tail[i] & 0x7F);
    }
    peerClosed_ = result == 0;
    if (result == Id_SOCKET_ERROR) {
      if (GStack->CheckSocketResult(result, {Id_WSAESHUTDOWN, Id_WSAECONNABORTED})) {
        result = 0;
        if (ioHandler_) DropSocket();
        if (inputBuffer_->Size() == 0) GStack->RaiseSocketFault(GStack->LastErrorNumber());
      }
    }
    if (result > 0 && intercept_) {
      recvBuffer_->SetSize(result);
      intercept_->Receive(*recvBuffer_);
      result = static_cast<int>(recvBuffer_->Size());
      if (ASCIIFilter)
        for (int i = 0; i < result; ++i) recvBuffer_->Memory()[i] = static_cast<char>(recvBuffer_->Memory()[i] & 0x7F);
      inputBuffer_->Append(recvBuffer_->Memory(), result);
    }
    CheckLinkState(raiseIfDisconnected, false);
    if (!(result == 0 && IsConnected())) return result;
  }
}

void TIdTCPConnection::BeforeReadStep() { AnswerWhileWorking(); }

void TIdTCPConnection::PollPeerClosed(bool raiseIfDisconnected) { FillInputBuffer(raiseIfDisconnected, 1, false); }

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int timeout, int maximum) {
  if (maximum == -1) maximum = MaxLineLength;
  const std::string term = terminator.empty() ? std::string("\n") : terminator;
  std::size_t scanned = 0;
  std::size_t found = std::string::npos;
  for (;;) {
    BeforeReadStep();
    const std::size_t size = static_cast<std::size_t>(inputBuffer_->Size());
    if (size > 0) {
      // Resume where the last scan ended, less what a terminator split over two arrivals needs.
      std::size_t from = scanned >= term.size() - 1 ? scanned - (term.size() - 1) : 0;
      const char* data = inputBuffer_->Memory();
      const char* hit = std::search(data + from, data + size, term.begin(), term.end());
      if (hit != data + size) found = static_cast<std::size_t>(hit - data);
      scanned = size;
    }
    bool tooLong = false;
    if (found != std::string::npos) {
      tooLong = maximum != 0 && found > static_cast<std::size_t>(maximum);
    } else {
      tooLong = maximum != 0 && size > static_cast<std::size_t>(maximum);
    }
    if (tooLong) {
      if (MaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded(RSReadLnMaxLineLengthExceeded);
      return inputBuffer_->ExtractBytes(maximum);
    }
    if (found != std::string::npos) break;
    CheckLinkState(true, true);
    const int got = FillInputBuffer(true, timeout, timeout == IdTimeoutDefault);
    if (got == 0) return std::string();  // the peer closed; unterminated bytes stay buffered
    // An explicit time limit that passed ends the wait instead of waiting on.
    if (got < 0) throw EIdReadTimeout(RSReadTimeout);
  }
  std::string line = inputBuffer_->ExtractBytes(static_cast<int>(found + term.size()));
  line.resize(found);
  if (term == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void TIdTCPConnection::ReadExact(void* buffer, int count) {
  if (count <= 0 || !buffer) return;
  BeforeReadStep();
  while (inputBuffer_->Size() < count) {
    FillInputBuffer(true, IdTimeoutDefault, true);
    CheckLinkState(true, true);
  }
  std::memcpy(buffer, inputBuffer_->Memory(), static_cast<std::size_t>(count));
  inputBuffer_->RemoveBytes(count);
}

void TIdTCPConnection::ReadIntoStream(TStream& stream, std::int64_t count, bool untilClosed) {
  if (count == -1 && !untilClosed) count = ReadInt32(true);
  BeforeReadStep();
  if (count > 0) {
    const std::int64_t position = stream.Position();
    stream.SetSize(position + std::min(count, kPresizeLimit));
    stream.SetPosition(position);
  }
  std::int64_t remaining = count;
  if (untilClosed) {
    remaining = INT64_MAX;
    WorkBegin(wmRead, 0);
  } else {
    WorkBegin(wmRead, count);
  }
  auto guard = OnScopeExit([&] {
    WorkEnd(wmRead);
    const std::int64_t position = stream.Position();
    if (stream.Size() > position) stream.SetSize(position);
  });

  // Bytes go from the input buffer to the stream; each piece is counted when it leaves.
  auto moveBuffered = [&](std::int64_t n) {
    stream.WriteBuffer(inputBuffer_->Memory(), static_cast<int>(n));
    inputBuffer_->RemoveBytes(static_cast<int>(n));
    remaining -= n;
  };
  if (inputBuffer_->Size() > 0) moveBuffered(std::min<std::int64_t>(inputBuffer_->Size(), remaining));
  const std::int64_t pieceSize = std::max<std::int64_t>(1, std::min<std::int64_t>(remaining, RecvBufferSize));
  while (remaining > 0 && IsConnected()) {
    const std::int64_t n = std::min(remaining, pieceSize);
    BeforeReadStep();
    try {
      while (inputBuffer_->Size() < n) {
        FillInputBuffer(true, IdTimeoutDefault, true);
        CheckLinkState(true, true);
      }
    } catch (const EIdConnClosedGracefully&) {
      if (!untilClosed) throw;
      // The rest that came before the close; taken without counting it as work.
      const std::int64_t rest = inputBuffer_->Size();
      if (rest > 0) stream.WriteBuffer(inputBuffer_->Memory(), static_cast<int>(rest));
      inputBuffer_->Clear();
      remaining -= rest;
      continue;
    }
    moveBuffered(n);
  }
}

std::string TIdTCPConnection::ReadUntilClosed() {
  WorkBegin(wmRead, 0);
  auto guard = OnScopeExit([&] { WorkEnd(wmRead); });
  std::string result;
  while (IsConnected()) result += TakeAvailable();
  return result;
}

std::string TIdTCPConnection::TakeAvailable() {
  BeforeReadStep();
  if (IsConnected()) FillInputBuffer(false, IdTimeoutDefault, true);
  return inputBuffer_->ExtractBytes(static_cast<int>(inputBuffer_->Size()));
}

std::int32_t TIdTCPConnection::ReadInt32(bool networkOrder) {
  std::uint32_t v = 0;
  ReadExact(&v, 4);
  if (networkOrder) v = GStack->WSNToHL(v);
  return static_cast<std::int32_t>(v);
}

std::string TIdTCPConnection::ReadNonEmptyLine(int tries) {
  std::string line;
  for (int i = 0; i < tries && line.empty(); ++i) line = Trim(ReadLine("\n"));
  return line;
}

// ---- writing ------------------------------------------------------------------------------------

void TIdTCPConnection::WriteText(const std::string& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int>(text.size()), false);
}

void TIdTCPConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TIdTCPConnection::WriteBytes(const void* buffer, int count, bool sendNow) {
  if (count <= 0 || !buffer) return;
  CheckLinkState(true, true);
  if (!IsConnected()) throw EIdNotConnected(RSNotConnected);
  if (writeBuffer_ && !sendNow) {
    writeBuffer_->Seek(0, soEnd);
    writeBuffer_->WriteBuffer(buffer, count);
    if (writeBufferThreshold_ > 0 && writeBuffer_->Size() >= writeBufferThreshold_)
      FlushWriteBuffering(writeBufferThreshold_);
    return;
  }
  const char* data = static_cast<const char*>(buffer);
  TIdSimpleBuffer intercepted;
  if (intercept_) {
    intercepted.WriteBuffer(buffer, count);
    intercept_->Send(intercepted);
    data = intercepted.Memory();
    count = static_cast<int>(intercepted.Size());
  }
  int position = 0;
  while (position < count) {
    if (!ioHandler_) throw EIdNotConnected(RSNotConnected);
    const int sent = ioHandler_->SendBytes(data + position, count - position);
    peerClosed_ = sent == 0;
    CheckLinkState(true, false);
    if (GStack->CheckSocketResult(sent, {Id_WSAESHUTDOWN, Id_WSAECONNABORTED, Id_WSAECONNRESET})) {
      const int number = GStack->LastErrorNumber();  // the send's error, not one the close may leave
      DropSocket();
      GStack->RaiseSocketFault(number);
    }
    WorkAdvance(wmWrite, sent);
    position += sent;
  }
}

void TIdTCPConnection::WriteFromStream(TStream& stream, bool fromStart, bool sendLengthFirst, std::int64_t size) {
  if (fromStart) stream.SetPosition(0);
  const std::int64_t start = stream.Position();
  const std::int64_t end = size != 0 ? start + size : stream.Size();
  const std::int64_t n = end - start;
  if (sendLengthFirst) WriteInt32(static_cast<std::int32_t>(n), true);
  WorkBegin(wmWrite, n);
  auto guard = OnScopeExit([&] { WorkEnd(wmWrite); });
  std::string chunk(static_cast<std::size_t>(std::max(1, SendBufferSize)), '\0');
  for (;;) {
    const std::int64_t k = std::min<std::int64_t>(end - stream.Position(), static_cast<std::int64_t>(chunk.size()));
    if (k <= 0) break;
    const int got = stream.Read(&chunk[0], static_cast<int>(k));
    if (got <= 0) throw EIdNoDataToRead(RSNoDataToRead);
    WriteBytes(chunk.data(), got, false);
  }
}

void TIdTCPConnection::WriteInt32(std::int32_t value, bool networkOrder) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  if (networkOrder) v = GStack->WSHToNL(v);
  WriteBytes(&v, 4, false);
}

void TIdTCPConnection::BeginWriteBuffering(int threshold) {
  // Already buffering: the collected bytes stay, only the threshold changes.
  if (!writeBuffer_) writeBuffer_ = std::make_unique<TIdSimpleBuffer>();
  writeBufferThreshold_ = threshold;
}

void TIdTCPConnection::EndWriteBuffering() {
  auto guard = OnScopeExit([&] { writeBuffer_.reset(); });
  FlushWriteBuffering(-1);
}

void TIdTCPConnection::FlushWriteBuffering(int count) {
  if (!writeBuffer_ || writeBuffer_->Size() == 0) return;
  if (count != -1 && writeBuffer_->Size() >= count) {
    WriteBytes(writeBuffer_->Memory(), count, true);
    writeBuffer_->RemoveBytes(count);
  } else {
    WriteBytes(writeBuffer_->Memory(), static_cast<int>(writeBuffer_->Size()), true);
    DiscardWriteBuffering();
  }
}

void TIdTCPConnection::DiscardWriteBuffering() {
  if (writeBuffer_) writeBuffer_->Clear();
}
