#pragma once
// The shared socket stack: one object per process, alive while any network component lives.
// It wraps every socket call, resolves host names, converts addresses, and turns error
// numbers into EIdSocketError with fixed texts.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "net/transport/IdException.h"
#include "platform/Platform.h"
#include "platform/SocketApi.h"

using TIdStackSocketHandle = platform::TSocket;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = platform::kInvalidSocket;
constexpr int Id_SOCKET_ERROR = -1;
constexpr int Id_PF_INET = 2;
constexpr int Id_SOCK_STREAM = 1;
constexpr int Id_IPPROTO_TCP = 6;
constexpr int Id_TCP_NODELAY = 1;
constexpr int Id_SOL_SOCKET = 0xFFFF;
constexpr int Id_SO_REUSEADDR = 4;
constexpr int Id_SD_Send = 1;
constexpr int Id_SD_Both = 2;

/// Time limits in milliseconds: -1 the configured default, -2 no limit.
constexpr int IdTimeoutDefault = -1;
constexpr int IdTimeoutInfinite = -2;

using TIdSocketList = std::vector<TIdStackSocketHandle>;

class TIdStack {
 public:
  TIdStack() = default;
  virtual ~TIdStack() = default;
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;

  // ---- socket calls: each returns the library's result unchanged -------------------------
  virtual TIdStackSocketHandle WSAccept(TIdStackSocketHandle s, std::string& ip, int& port) = 0;
  virtual int WSBind(TIdStackSocketHandle s, int family, const std::string& ip, int port) = 0;
  virtual int WSCloseSocket(TIdStackSocketHandle s) = 0;
  virtual int WSConnect(TIdStackSocketHandle s, int family, const std::string& ip, int port) = 0;
  /// Looks a name up; the first address as dotted text. Raises EIdSocketError on failure.
  virtual std::string LookupHost(const std::string& name) = 0;
  virtual std::uint16_t WSHToNs(std::uint16_t v) = 0;
  virtual int WSListen(TIdStackSocketHandle s, int backlog) = 0;
  virtual std::uint16_t WSNToHs(std::uint16_t v) = 0;
  virtual std::uint32_t WSHToNL(std::uint32_t v) = 0;
  virtual std::uint32_t WSNToHL(std::uint32_t v) = 0;
  virtual int WSRecv(TIdStackSocketHandle s, void* buffer, int length, int flags) = 0;
  /// Waits until a handle of a list is ready; each list is rebuilt with the ready handles.
  /// timeout in ms, IdTimeoutInfinite waits without limit. More than 64 handles in a list
  /// raise EIdStackSetSizeExceeded.
  virtual int WSSelect(TIdSocketList* read, TIdSocketList* write, int timeout, TIdSocketList* error) = 0;
  virtual int WSSend(TIdStackSocketHandle s, const void* buffer, int length, int flags) = 0;
  virtual int WSSetSockOpt(TIdStackSocketHandle s, int level, int option, const void* value, int length) = 0;
  virtual TIdStackSocketHandle WSSocket(int family, int type, int protocol) = 0;
  virtual int WSShutdown(TIdStackSocketHandle s, int how) = 0;
  /// "Socket Error # n" CR LF and the text for n (empty when n has none).
  virtual std::string WSTranslateSocketErrorMsg(int number);
  virtual int WSGetLastError() = 0;
  virtual void WSSetLastError(int number) = 0;
  virtual void WSGetPeerName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) = 0;
  virtual void WSGetSockName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) = 0;
  virtual std::string AddressToDotted(const std::uint8_t address[4]);
  virtual void DottedToAddress(const std::string& text, std::uint8_t address[4]);

  // ---- shared helpers ----------------------------------------------------------------------
  /// False for a result other than -1. For -1: records the library's last error, returns
  /// True when it is on the ignore list, else raises EIdSocketError for it.
  bool CheckSocketResult(int result, std::initializer_list<int> ignore = {});
  [[noreturn]] void RaiseSocketFault(int number);
  /// A new IPv4 socket; EIdInvalidSocket "Cannot allocate socket." when none is given.
  TIdStackSocketHandle NewSocketHandle(int type, int protocol);
  /// "LOCALHOST" in any case gives "127.0.0.1", a dotted literal is returned unchanged,
  /// anything else is looked up.
  std::string ResolveHostToIP(const std::string& host);
  static bool IsDottedQuad(const std::string& text);

  /// The error number the last failing CheckSocketResult recorded.
  std::atomic<int> LastErrorNumber{0};
};

/// The process's one stack while any network component lives, else null.
extern TIdStack* GStack;
/// Guards GStack and the component count.
platform::Lock& StackLock();
/// Called by every network component's constructor and destructor.
void IdStackAddComponent();
void IdStackRemoveComponent();
int IdStackComponentCount();
/// True once the socket library has been started in this process.
bool IdStackStarted();
/// Recorded by the stack constructor once the library has started.
void IdStackMarkStarted();
