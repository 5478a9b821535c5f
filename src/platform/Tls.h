#pragma once
// TLS through the system: one small interface over a connection that is already open, with
// Schannel behind it on Windows (platform/win32/Tls.cpp, secur32 and crypt32 loaded from the
// system folder) and OpenSSL natively (platform/posix/Tls.cpp, the system's CA store). TLS 1.2
// is the oldest protocol either offers. The session never touches the socket itself: it moves
// its records through the channel it is given, so the transport keeps its own waits and limits.
#include <functional>
#include <memory>
#include <string>

namespace platform {

/// The raw byte stream under a session. Each function either does its work or raises; a raised
/// exception is carried through the TLS library unchanged and comes out of the session's call.
struct TTlsChannel {
  /// Sends all `length` bytes.
  std::function<void(const void* data, int length)> send;
  /// Receives at least one byte and at most `length`, waiting as the caller's limits allow;
  /// 0 when the peer closed the connection.
  std::function<int(void* buffer, int length)> receive;
};

/// Why a peer was refused: each is its own reason in the run's log.
enum class TTlsRefusal {
  None,
  UnknownRoot,     // the chain does not reach a root the system trusts (or is not whole)
  NameMismatch,    // the certificate is not for the host's name
  Expired,         // a certificate of the chain is out of its validity period
  Revoked,         // a certificate of the chain is revoked
  ProtocolTooOld,  // the server offers only protocols older than TLS 1.2
  Handshake,       // the handshake failed otherwise (its own error code in the reason)
  Untrusted,       // the chain was refused for another reason (the system's own code in the reason)
};

/// The outcome of a handshake: refused with a reason, or the connection's protocol and peer.
struct TTlsVerdict {
  TTlsRefusal refusal = TTlsRefusal::None;
  std::string reason;   // a refusal's words, with the system's or library's own code
  std::string version;  // "TLS 1.2", "TLS 1.3"
  std::string subject;  // the peer certificate's subject and issuer, as the system writes names
  std::string issuer;

  /// Refused as `kind` (a kind the chain check gives), in the words the log uses for it, with
  /// `detail` (the system's or library's own code) after them in brackets.
  void Refuse(TTlsRefusal kind, const std::string& host, const std::string& detail) {
    refusal = kind;
    reason = kind == TTlsRefusal::NameMismatch  ? "the certificate is not for " + host
             : kind == TTlsRefusal::Expired     ? "the certificate is out of its validity period"
             : kind == TTlsRefusal::Revoked     ? "the certificate is revoked"
             : kind == TTlsRefusal::UnknownRoot ? "the certificate's chain does not reach a trusted root"
                                                : "the certificate's chain is refused";
    reason += " (" + detail + ")";
  }
};

class TTlsSession {
 public:
  virtual ~TTlsSession() = default;
  /// Runs the handshake, sending `host` as the server name, then checks the peer's chain and
  /// that the certificate is for `host`. A refused peer leaves the session unusable.
  virtual TTlsVerdict Start(const std::string& host) = 0;
  /// Encrypts and sends all `length` bytes; raises what the channel raises, returns false when
  /// the library refused (ErrorText says why).
  virtual bool Send(const void* data, int length) = 0;
  /// Decrypted bytes (at least one), 0 when the peer ended the session or closed the
  /// connection, -1 on a failure of the protocol (ErrorText says which).
  virtual int Receive(void* buffer, int length) = 0;
  /// Whether received bytes wait in the session (decrypted or not yet), so that a receive may
  /// return without the socket becoming readable.
  virtual bool HasPending() const = 0;
  /// Tells the peer the session ends (close_notify), when the handshake completed.
  virtual void Shutdown() = 0;
  /// The last failure's words, with the library's own code.
  virtual std::string ErrorText() const = 0;
};

/// A session over `channel`. Null and `error` set when the system's TLS is missing (its library
/// could not be loaded from the system folder).
std::unique_ptr<TTlsSession> NewTlsSession(TTlsChannel channel, std::string& error);

}  // namespace platform
