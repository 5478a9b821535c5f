#include "net/transport/IdIOHandlerMemory.h"

#include <algorithm>
#include <cstring>

#include "net/transport/IdException.h"
#include "net/transport/IdSharedStack.h"

void TIdIOHandlerMemory::AddInputAt(std::uint32_t atMs, const std::string& bytes) {
  if (bytes.empty()) return;
  input_.push_back(bytes);
  arrivals_.push_back(atMs);
}

std::string TIdIOHandlerMemory::TakeOutput() {
  std::string out;
  out.swap(output_);
  return out;
}

std::size_t TIdIOHandlerMemory::Pending() const {
  std::size_t n = 0;
  for (const std::string& s : input_) n += s.size();
  return n - frontOffset_;
}

void TIdIOHandlerMemory::Open() { open_ = true; }

void TIdIOHandlerMemory::ConnectTo(const std::string& host, int port, int, const std::string&, int, int, int) {
  host_ = host;
  port_ = port;
  open_ = true;
}

bool TIdIOHandlerMemory::WaitReadable(int timeout) {
  if (!open_) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  waitLimits_.push_back(timeout);
  const std::uint32_t limit = timeout > 0 ? static_cast<std::uint32_t>(timeout) : 0;
  if (input_.empty()) {
    if (peerClosing_ || receiveError_ != 0) return true;
    clock_ += limit;
    return false;
  }
  const std::uint32_t next = arrivals_.front();
  if (next <= clock_) return true;
  if (timeout == IdTimeoutInfinite || next - clock_ <= limit) {
    clock_ = next;
    return true;
  }
  clock_ += limit;
  return false;
}

int TIdIOHandlerMemory::ReceiveBytes(void* buffer, int length) {
  if (!open_) throw EIdClosedSocket(RSStatusDisconnected);
  ++receiveCount_;
  if (input_.empty()) {
    if (receiveError_ != 0) {
      GStack->WSSetLastError(receiveError_);
      return Id_SOCKET_ERROR;
    }
    return 0;  // the peer closed (or nothing is queued at all)
  }
  clock_ = std::max(clock_, arrivals_.front());  // a receive blocks until the bytes are there
  const std::string& front = input_.front();
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(0, length)), front.size() - frontOffset_);
  std::memcpy(buffer, front.data() + frontOffset_, n);
  frontOffset_ += n;
  if (frontOffset_ == front.size()) {
    input_.pop_front();
    arrivals_.pop_front();
    frontOffset_ = 0;
  }
  return static_cast<int>(n);
}

int TIdIOHandlerMemory::SendBytes(const void* buffer, int length) {
  if (!open_) throw EIdClosedSocket(RSStatusDisconnected);
  ++sendCount_;
  if (sendError_ != 0) {
    GStack->WSSetLastError(sendError_);
    return Id_SOCKET_ERROR;
  }
  int n = MaxSendChunk > 0 ? std::min(MaxSendChunk, length) : length;
  output_.append(static_cast<const char*>(buffer), static_cast<std::size_t>(std::max(0, n)));
  return n;
}
