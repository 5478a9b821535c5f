#pragma once
// An I/O handler without a network: the bytes a peer would send are queued by the caller,
// the bytes sent are collected. For tests and fuzzing of everything above the socket.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "net/transport/IdIOHandler.h"

class TIdIOHandlerMemory : public TIdIOHandler {
 public:
  /// Queues bytes the peer sends; each call is one arrival (a receive returns at most one
  /// arrival, or part of it when the reader asks for less).
  void AddInput(const std::string& bytes) { AddInputAt(0, bytes); }
  /// The same, arriving when the handler's clock shows `atMs` (arrivals queued in time order).
  void AddInputAt(std::uint32_t atMs, const std::string& bytes);
  /// After the queued input, receives return 0 (the peer closed).
  void ClosePeer() { peerClosing_ = true; }
  /// After the queued input, receives fail with -1 and this library error number.
  void FailReceive(int errorNumber) { receiveError_ = errorNumber; }
  /// Sends fail with -1 and this library error number (0: sends succeed).
  void FailSend(int errorNumber) { sendError_ = errorNumber; }
  /// At most this many bytes are taken per send (0: no limit).
  int MaxSendChunk = 0;

  /// Everything sent so far, and the number of sends.
  const std::string& Output() const { return output_; }
  std::string TakeOutput();
  int SendCount() const { return sendCount_; }
  int ReceiveCount() const { return receiveCount_; }
  /// Unreceived queued bytes.
  std::size_t Pending() const;
  /// The handler's clock in milliseconds: only waits move it, to the next arrival or by a
  /// time limit that passes first.
  std::uint32_t Clock() const { return clock_; }
  /// The time limit of every wait so far, in order (IdTimeoutInfinite: none).
  const std::vector<int>& WaitLimits() const { return waitLimits_; }

  /// Opens the handler as if a connection were made (also done by ConnectTo).
  void Open();
  const std::string& ConnectedHost() const { return host_; }
  int ConnectedPort() const { return port_; }

  void CloseHandler() override { open_ = false; }
  void ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP, int boundPort,
                 int boundPortMin, int boundPortMax) override;
  bool HasSocket() override { return open_; }
  /// Waits on the handler's clock: true at once when input has arrived or a close or an error
  /// is queued; true at the next arrival when it comes within the limit; otherwise the whole
  /// limit passes and the answer is false (a time-out). With nothing queued at all an
  /// unlimited wait gives up at once instead of hanging the test.
  bool WaitReadable(int timeout) override;
  int ReceiveBytes(void* buffer, int length) override;
  int SendBytes(const void* buffer, int length) override;
  /// Records the host instead of starting TLS; the bytes go on unchanged.
  void StartTls(const std::string& host) override { tlsHosts_.push_back(host); }
  /// The host of every StartTls so far, in order.
  const std::vector<std::string>& TlsHosts() const { return tlsHosts_; }

 private:
  std::deque<std::string> input_;
  std::deque<std::uint32_t> arrivals_;  // when each queued input arrives
  std::size_t frontOffset_ = 0;
  bool peerClosing_ = false;
  int receiveError_ = 0;
  int sendError_ = 0;
  bool open_ = false;
  std::string output_;
  int sendCount_ = 0;
  int receiveCount_ = 0;
  std::string host_;
  int port_ = 0;
  std::uint32_t clock_ = 0;
  std::vector<int> waitLimits_;
  std::vector<std::string> tlsHosts_;
};
