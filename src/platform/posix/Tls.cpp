// TLS natively: OpenSSL with the system's CA store, TLS 1.2 at least, the host's name sent and
// checked. The records travel through the session's channel by a BIO of our own.
#include "platform/Tls.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <exception>

namespace platform {
namespace {

std::string NameText(X509_NAME* name) {
  if (!name) return "";
  BIO* out = BIO_new(BIO_s_mem());
  if (!out) return "";
  X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253);
  char* data = nullptr;
  const long size = BIO_get_mem_data(out, &data);
  std::string text(data, static_cast<size_t>(size));
  BIO_free(out);
  return text;
}

/// The oldest error of the thread's queue in OpenSSL's words, with its code; the queue emptied.
std::string QueuedErrorText(const char* fallback) {
  const unsigned long code = ERR_peek_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

class TOpenSslSession final : public TTlsSession {
 public:
  explicit TOpenSslSession(TTlsChannel channel) : channel_(std::move(channel)) {}
  ~TOpenSslSession() override {
    if (ssl_) SSL_free(ssl_);  // frees the BIO with it
  }

  TTlsVerdict Start(const std::string& host) override {
    TTlsVerdict verdict;
    if (!Prepare(host)) {
      verdict.refusal = TTlsRefusal::Handshake;
      verdict.reason = error_;
      return verdict;
    }
    ERR_clear_error();
    const int result = SSL_connect(ssl_);
    Rethrow();
    if (result != 1) {
      const unsigned long code = ERR_peek_error();
      const int reason = ERR_GET_REASON(code);
      error_ = QueuedErrorText("the server ended the connection during the handshake");
      verdict.refusal = reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
                                reason == SSL_R_WRONG_SSL_VERSION
                            ? TTlsRefusal::ProtocolTooOld
                            : TTlsRefusal::Handshake;
      verdict.reason =
          (verdict.refusal == TTlsRefusal::ProtocolTooOld ? "the server offers no protocol as new as TLS 1.2 ("
                                                          : "the TLS handshake failed (") +
          error_ + ")";
      return verdict;
    }
    // The chain is judged after the handshake, as on Windows: the verification ran during it
    // (SSL_VERIFY_NONE only keeps it from ending the handshake) and left its result.
    X509* peer = SSL_get1_peer_certificate(ssl_);
    if (peer) {
      verdict.subject = NameText(X509_get_subject_name(peer));
      verdict.issuer = NameText(X509_get_issuer_name(peer));
      X509_free(peer);
    }
    verdict.version = SSL_version(ssl_) == TLS1_3_VERSION ? "TLS 1.3" : "TLS 1.2";
    const long check = peer ? SSL_get_verify_result(ssl_) : X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT;
    if (check == X509_V_OK) return verdict;
    TTlsRefusal kind = TTlsRefusal::Untrusted;
    switch (check) {
      case X509_V_ERR_HOSTNAME_MISMATCH:
      case X509_V_ERR_IP_ADDRESS_MISMATCH: kind = TTlsRefusal::NameMismatch; break;
      case X509_V_ERR_CERT_HAS_EXPIRED:
      case X509_V_ERR_CERT_NOT_YET_VALID: kind = TTlsRefusal::Expired; break;
      case X509_V_ERR_CERT_REVOKED: kind = TTlsRefusal::Revoked; break;
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      case X509_V_ERR_CERT_UNTRUSTED: kind = TTlsRefusal::UnknownRoot; break;
      default: break;
    }
    verdict.Refuse(kind, host, X509_verify_cert_error_string(check));
    return verdict;
  }

  bool Send(const void* data, int length) override {
    ERR_clear_error();
    const int result = length > 0 ? SSL_write(ssl_, data, length) : 1;
    Rethrow();
    if (result > 0) return true;
    error_ = QueuedErrorText("the TLS session could not send");
    return false;
  }

  int Receive(void* buffer, int length) override {
    ERR_clear_error();
    const int result = SSL_read(ssl_, buffer, length);
    Rethrow();
    if (result > 0) return result;
    const int kind = SSL_get_error(ssl_, result);
    if (kind == SSL_ERROR_ZERO_RETURN || (kind == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)) return 0;
    error_ = QueuedErrorText("the TLS session failed");
    return -1;
  }

  bool HasPending() const override { return ssl_ && (SSL_pending(ssl_) > 0 || SSL_has_pending(ssl_)); }

  void Shutdown() override {
    if (!ssl_ || !SSL_is_init_finished(ssl_)) return;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    failure_ = nullptr;  // a peer gone already is no news when the session is ending anyway
  }

  std::string ErrorText() const override { return error_; }

 private:
  static BIO_METHOD* Method() {
    static BIO_METHOD* method = [] {
      BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "setupTQ channel");
      BIO_meth_set_write(m, [](BIO* bio, const char* data, int length) {
        return static_cast<TOpenSslSession*>(BIO_get_data(bio))->ChannelWrite(data, length);
      });
      BIO_meth_set_read(m, [](BIO* bio, char* buffer, int length) {
        return static_cast<TOpenSslSession*>(BIO_get_data(bio))->ChannelRead(bio, buffer, length);
      });
      BIO_meth_set_ctrl(m, [](BIO*, int command, long, void*) -> long { return command == BIO_CTRL_FLUSH ? 1 : 0; });
      BIO_meth_set_create(m, [](BIO* bio) {
        BIO_set_init(bio, 1);
        return 1;
      });
      return m;
    }();
    return method;
  }

  /// One context for the process: the system's CA store is read once, not once a connection.
  static SSL_CTX* SharedContext() {
    static SSL_CTX* const shared = [] {
      SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
      if (!ctx) return ctx;
      SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
      SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
      SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);  // a close without close_notify ends the data
      SSL_CTX_set_read_ahead(ctx, 1);                          // whole chunks from the socket, not record by record
      if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
        SSL_CTX_free(ctx);
        return static_cast<SSL_CTX*>(nullptr);
      }
      return ctx;
    }();
    return shared;
  }

  bool Prepare(const std::string& host) {
    SSL_CTX* ctx = SharedContext();
    if (!ctx) return Failed("no TLS context with the system's CA store");
    ssl_ = SSL_new(ctx);
    if (!ssl_) return Failed("no TLS session");
    BIO* bio = BIO_new(Method());
    if (!bio) return Failed("no TLS channel");
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    // An address is matched against the certificate's addresses and, as a server name may
    // not be an address, not sent; a name is both sent and matched.
    unsigned char address[16];
    if (inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1) {
      if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) != 1)
        return Failed("the address " + host + " cannot be checked");
    } else if (SSL_set_tlsext_host_name(ssl_, host.c_str()) != 1 || SSL_set1_host(ssl_, host.c_str()) != 1) {
      return Failed("the host name " + host + " cannot be sent");
    }
    return true;
  }

  bool Failed(const std::string& what) {
    error_ = QueuedErrorText(what.c_str());
    return false;
  }

  int ChannelWrite(const char* data, int length) {
    try {
      channel_.send(data, length);
      return length;
    } catch (...) {
      failure_ = std::current_exception();  // raised again once OpenSSL has returned
      return -1;
    }
  }

  int ChannelRead(BIO* bio, char* buffer, int length) {
    BIO_clear_retry_flags(bio);
    try {
      return channel_.receive(buffer, length);
    } catch (...) {
      failure_ = std::current_exception();  // raised again once OpenSSL has returned
      return -1;
    }
  }

  void Rethrow() {
    if (!failure_) return;
    ERR_clear_error();
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }

  TTlsChannel channel_;
  SSL* ssl_ = nullptr;
  std::exception_ptr failure_;
  std::string error_;
};

}  // namespace

std::unique_ptr<TTlsSession> NewTlsSession(TTlsChannel channel, std::string& error) {
  error.clear();
  return std::make_unique<TOpenSslSession>(std::move(channel));
}

}  // namespace platform
