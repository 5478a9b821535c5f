#pragma once
// The exceptions of the network code and their fixed message texts.
#include <string>

#include "base/SysUtils.h"

// ---- message texts ------------------------------------------------------------------
constexpr const char* RSWS2LoadError = "Error on loading Winsock2 library (%s)";
constexpr const char* RSWS2CallError = "Error on call Winsock2 library function %s";
constexpr const char* RSWinsockInitializationError = "Winsock Initialization Error.";
constexpr const char* RSSetSizeExceeded = "Set Size Exceeded.";
constexpr const char* RSCannotAllocateSocket = "Cannot allocate socket.";
constexpr const char* RSCouldNotBindSocket = "Could not bind socket. Address and port are already in use.";
constexpr const char* RSInvalidPortRange = "Invalid Port Range (%d - %d)";
constexpr const char* RSCanNotBindRange = "Can not bind in port range (%d - %d)";
constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
constexpr const char* RSAlreadyConnected = "Already connected.";
constexpr const char* RSConnectTimeout = "Connect timed out.";
constexpr const char* RSConnectThreadFailed = "Could not start a thread for the connect.";
constexpr const char* RSStatusDisconnected = "Disconnected.";
constexpr const char* RSNotConnected = "Not Connected";
constexpr const char* RSReadTimeout = "Read Timeout";
constexpr const char* RSReadLnMaxLineLengthExceeded = "Max line length exceeded.";
constexpr const char* RSNotEnoughDataInBuffer = "Not enough data in buffer.";
constexpr const char* RSNoDataToRead = "No data to read.";
constexpr const char* RSIOHandlerPropInvalid = "IOHandler value is not valid";
constexpr const char* RSFileNotFound = "File \"%s\" not found";
constexpr const char* RSTLSMissing = "The system's TLS is not available: %s";
constexpr const char* RSTLSRefused = "TLS with %s refused: %s";
constexpr const char* RSTLSFailed = "TLS session failed: %s";

/// Base of every exception of the network code.
SETUPTQ_EXCEPTION(EIdException, Exception);
/// A failure that callers commonly expect (a peer closing) rather than a fault.
SETUPTQ_EXCEPTION(EIdSilentException, EIdException);
SETUPTQ_EXCEPTION(EIdConnClosedGracefully, EIdSilentException);

// ---- socket layer ---------------------------------------------------------------------
SETUPTQ_EXCEPTION(EIdStackError, EIdException);
SETUPTQ_EXCEPTION(EIdStackInitializationFailed, EIdStackError);
SETUPTQ_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError);
SETUPTQ_EXCEPTION(EIdInvalidSocket, EIdException);
SETUPTQ_EXCEPTION(EIdSocketHandleError, EIdException);
SETUPTQ_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError);
SETUPTQ_EXCEPTION(EIdInvalidPortRange, EIdSocketHandleError);
SETUPTQ_EXCEPTION(EIdCanNotBindPortInRange, EIdSocketHandleError);

/// The socket library could not be loaded, or one of its functions could not be reached.
class EIdWS2StubError : public EIdException {
 public:
  /// Message: FailureText alone when code is 0, else FailureText + ": " + the system's text.
  EIdWS2StubError(const std::string& failureText, int systemErrorCode);
  const char* ClassName() const override { return "EIdWS2StubError"; }
  std::string FailureText;
  int SystemErrorCode;
  std::string SystemErrorText;
};

/// A socket call failed; ErrorNumber is the library's (Windows) error number.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int errorNumber, const std::string& message) : EIdException(message), ErrorNumber(errorNumber) {}
  const char* ClassName() const override { return "EIdSocketError"; }
  int ErrorNumber;
};

// ---- connections ----------------------------------------------------------------------
SETUPTQ_EXCEPTION(EIdAlreadyConnected, EIdException);
SETUPTQ_EXCEPTION(EIdConnectTimeout, EIdException);
SETUPTQ_EXCEPTION(EIdConnectException, EIdException);
SETUPTQ_EXCEPTION(EIdClosedSocket, EIdException);
SETUPTQ_EXCEPTION(EIdReadTimeout, EIdException);
SETUPTQ_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException);
SETUPTQ_EXCEPTION(EIdTCPConnectionError, EIdException);
SETUPTQ_EXCEPTION(EIdNotConnected, EIdTCPConnectionError);
SETUPTQ_EXCEPTION(EIdNotEnoughDataInBuffer, EIdTCPConnectionError);
SETUPTQ_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError);
SETUPTQ_EXCEPTION(EIdIOHandlerPropInvalid, EIdTCPConnectionError);
SETUPTQ_EXCEPTION(EIdFileNotFound, EIdTCPConnectionError);

// ---- TLS ------------------------------------------------------------------------------
/// The system's TLS is missing, or a TLS session failed after its handshake.
SETUPTQ_EXCEPTION(EIdTLSError, EIdException);
/// The handshake failed or the peer's certificate was refused; the message says why.
SETUPTQ_EXCEPTION(EIdTLSRefused, EIdTLSError);

/// printf-like "%s" / "%d" substitution of the message texts above, in order of the
/// arguments; other characters are copied unchanged.
std::string IdFormat(const char* format, const std::string& a = std::string(), const std::string& b = std::string());
