#pragma once
// The stack over the socket library bound at run time (IdWinSock2).
#include "net/transport/IdStack.h"

class TIdStackWindows : public TIdStack {
 public:
  /// Starts the library (version 2.2) unless it was started before in this process;
  /// raises EIdStackInitializationFailed "Winsock Initialization Error." when it refuses.
  TIdStackWindows();

  /// True once the library has been started in this process.
  static bool WinsockStarted();
  /// For the program's end: the library's clean-up, once, when it was started, then the
  /// unload. Reaches only storage that no static destructor ends (see IdWinSock2.cpp).
  static void CleanupWinsock();

  TIdStackSocketHandle WSAccept(TIdStackSocketHandle s, std::string& ip, int& port) override;
  int WSBind(TIdStackSocketHandle s, int family, const std::string& ip, int port) override;
  int WSCloseSocket(TIdStackSocketHandle s) override;
  int WSConnect(TIdStackSocketHandle s, int family, const std::string& ip, int port) override;
  std::vector<TIdPeerAddress> LookupHostAddresses(const std::string& name, int timeout) override;
  std::uint16_t WSHToNs(std::uint16_t v) override;
  int WSListen(TIdStackSocketHandle s, int backlog) override;
  std::uint16_t WSNToHs(std::uint16_t v) override;
  std::uint32_t WSHToNL(std::uint32_t v) override;
  std::uint32_t WSNToHL(std::uint32_t v) override;
  int WSRecv(TIdStackSocketHandle s, void* buffer, int length, int flags) override;
  int WSSelect(TIdSocketList* read, TIdSocketList* write, int timeout, TIdSocketList* error) override;
  int WSSend(TIdStackSocketHandle s, const void* buffer, int length, int flags) override;
  int WSSetSockOpt(TIdStackSocketHandle s, int level, int option, const void* value, int length) override;
  TIdStackSocketHandle WSSocket(int family, int type, int protocol) override;
  int WSShutdown(TIdStackSocketHandle s, int how) override;
  int WSGetLastError() override;
  void WSSetLastError(int number) override;
  void WSGetPeerName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) override;
  void WSGetSockName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) override;
};
