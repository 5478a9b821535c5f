#pragma once
// The socket stack: it wraps every socket call, resolves host names, converts addresses, and
// turns error numbers into EIdSocketError with fixed texts. The process shares one, alive
// while any network component lives (IdSharedStack.h).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "net/transport/IdException.h"
#include "platform/SocketApi.h"
#include "platform/SocketErrors.h"

using TIdStackSocketHandle = platform::TSocket;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = platform::kInvalidSocket;
constexpr int Id_SOCKET_ERROR = platform::kSocketError;

/// Time limits in milliseconds: -1 the configured default, -2 no limit.
constexpr int IdTimeoutDefault = -1;
constexpr int IdTimeoutInfinite = -2;

using TIdSocketList = std::vector<TIdStackSocketHandle>;

/// An address of either family: Id_PF_INET with "127.0.0.1", Id_PF_INET6 with "::1".
struct TIdPeerAddress {
  int Family = Id_PF_INET;
  std::string IP;
};
/// "IPv4" or "IPv6", for the log.
const char* FamilyName(int family);

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
  /// Looks a name up: its addresses of both families, in the order the system gives them.
  /// Raises EIdSocketError on failure.
  /// A positive timeout (ms) bounds the wait: when it passes, EIdSocketError Id_WSAETIMEDOUT.
  /// Any other value waits for the library's own answer (on a thread of its own, waited for
  /// in slices, when the calling thread has a while-waiting hook: base/WhileWaiting.h).
  virtual std::vector<TIdPeerAddress> LookupHostAddresses(const std::string& name, int timeout) = 0;
  /// The first of LookupHostAddresses.
  std::string LookupHost(const std::string& name, int timeout);
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
  /// A new socket of the family; EIdInvalidSocket "Cannot allocate socket." when none is given.
  TIdStackSocketHandle NewSocketHandle(int type, int protocol, int family = Id_PF_INET);
  /// "LOCALHOST" in any case gives 127.0.0.1, a literal of either family is itself, anything
  /// else is looked up (within `timeout` ms, see LookupHostAddresses).
  std::vector<TIdPeerAddress> ResolveHost(const std::string& host, int timeout = IdTimeoutDefault);
  /// The first address of ResolveHost.
  std::string ResolveHostToIP(const std::string& host, int timeout = IdTimeoutDefault);
  static bool IsDottedQuad(const std::string& text);
  /// An IPv6 address in text ("::1", "2001:db8::7", "::ffff:1.2.3.4"), without brackets.
  static bool IsIPv6Literal(const std::string& text);
  /// The 16 bytes of an IPv6 text; false (bytes undefined) when it is none.
  static bool IPv6ToBytes(const std::string& text, std::uint8_t bytes[16]);
  /// The text of 16 bytes: lower case, the longest run of zero groups written "::".
  static std::string IPv6ToText(const std::uint8_t bytes[16]);

  /// The error number the last failing CheckSocketResult (or lookup) recorded on the calling
  /// thread. Per thread: a connect thread given up on may fail at any time, and must not
  /// change the number that the thread it left is about to raise.
  int LastErrorNumber() const;

 protected:
  void SetLastErrorNumber(int number);
};
