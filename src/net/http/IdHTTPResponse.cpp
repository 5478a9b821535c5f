// Reading a response off the connection: the status line and header block, then the body by
// length, by chunks or until the server closes. Judging what was read is IdHTTPVerdict.cpp's.
#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"
#include "net/http/IdHTTP.h"

namespace {
/// Passes writes on to the body stream until `limit` bytes (0: no limit) have gone through,
/// then refuses the exchange instead of growing without bound.
class TIdLimitedStream : public TStream {
 public:
  TIdLimitedStream(TStream& target, std::int64_t limit) : target_(target), limit_(limit) {}
  int Read(void* buffer, int count) override { return target_.Read(buffer, count); }
  int Write(const void* buffer, int count) override {
    Reserve(count);
    int n = target_.Write(buffer, count);
    written_ += n;
    return n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return target_.Seek(offset, origin); }
  std::int64_t Size() override { return target_.Size(); }
  void SetSize(std::int64_t size) override { target_.SetSize(size); }
  std::int64_t Written() const { return written_; }
  /// Refuses `count` more bytes up front when they would pass the limit.
  void Reserve(std::int64_t count) const {
    if (limit_ > 0 && written_ + count > limit_)
      throw EIdHTTPLimitExceeded("Response body larger than the limit of " + std::to_string(limit_) + " bytes");
  }

 private:
  TStream& target_;
  std::int64_t limit_;
  std::int64_t written_ = 0;
};

/// Statuses that never carry a body (RFC 7230 3.3.3).
bool HasNoBody(int status) { return (status >= 100 && status < 200) || status == 204 || status == 304; }

/// Raises EIdHTTPMalformedFraming when the head frames the body in two ways. Repeated
/// Content-Lengths that agree ("5" and "5, 5") are one framing.
void CheckBodyFraming(const TIdHeaderList& head) {
  std::vector<std::string> lines;
  head.ExtractValues("Content-Length", &lines);
  if (lines.empty()) return;
  std::string first;
  bool seen = false;
  for (std::string line : lines) {
    do {
      const std::string value = Trim(FetchToken(line, ","));
      if (!seen) {
        first = value;
        seen = true;
      } else if (value != first) {
        throw EIdHTTPMalformedFraming("Content-Length values differ");
      }
    } while (!line.empty());
  }
  if (head.IndexOfHeader("Transfer-Encoding") >= 0)
    throw EIdHTTPMalformedFraming("Both Content-Length and Transfer-Encoding framing the body");
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

// ---- the response record ------------------------------------------------------------------

int TIdHTTPResponse::StatusCode() const {
  std::string s = StatusLine;
  FetchToken(s, " ");
  s = Trim(s);
  return StrToIntDef(FetchToken(s, " "), -1);
}

TIdHTTPProtocolVersion TIdHTTPResponse::StatusVersion() {
  if (StatusLine.size() >= 8) {
    std::string v = StatusLine.substr(5, 3);
    if (v == "1.0")
      version_ = pv1_0;
    else if (v == "1.1")
      version_ = pv1_1;
  }
  return version_;
}

bool TIdHTTPResponse::KeepConnection() {
  Client.CheckLinkState(false, false);
  if (!Client.IsConnected()) return false;
  const std::string connection = UpperCase(Trim(Connection));
  const std::string proxy = UpperCase(Trim(ProxyConnection));
  if (Client.ProtocolVersion == pv1_0) return connection == "KEEP-ALIVE" || proxy == "KEEP-ALIVE";
  return connection != "CLOSE" && proxy != "CLOSE";
}

// ---- the head -------------------------------------------------------------------------------

void TIdHTTPProtocol::ReadResponseHead() {
  TIdHTTPResponse& r = *Response;
  r.StatusLine = Client.ReadLine();
  r.HeaderLines.Clear();
  std::int64_t bytes = static_cast<std::int64_t>(r.StatusLine.size()) + 2;
  try {
    for (;;) {
      std::string line = Client.ReadLine();
      if (line.empty()) break;
      bytes += static_cast<std::int64_t>(line.size()) + 2;
      if (r.HeaderLines.Count() >= kMaxResponseHeaderLines)
        throw EIdHTTPLimitExceeded("Too many header lines in the response");
      if (bytes > kMaxResponseHeaderBytes) throw EIdHTTPLimitExceeded("Response header block too large");
      r.HeaderLines.Add(line);
    }
  } catch (const EIdConnClosedGracefully&) {
    Client.CloseConnection();
  }
  r.ReadFromLines();
  Client.StoreResponseCookies();
  if (Client.OnResponseHead) Client.OnResponseHead();
}

// ---- the body -------------------------------------------------------------------------------

void TIdHTTPProtocol::ReadBody() {
  TIdHTTPResponse& r = *Response;
  if (r.BodyStream == nullptr || HasNoBody(r.StatusCode()) || Request->RequestMethod == hmHead) return;
  CheckBodyFraming(r.HeaderLines);
  TIdLimitedStream body(*r.BodyStream, Client.MaxBodySize);
  if (r.ContentLength > 0) {
    body.Reserve(r.ContentLength);
    // A peer that closes before the whole length has arrived fails the exchange, also when
    // the close was noticed before the read began.
    const std::int64_t before = body.Written();
    Client.ReadIntoStream(body, r.ContentLength, false);
    if (body.Written() - before != r.ContentLength) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  } else if (PosText("chunked", r.HeaderLines.HeaderValue("Transfer-Encoding")) != 0) {
    Client.ReportStatus(hsStatusText, "Chunk Started");
    for (;;) {
      const std::int64_t size = ReadChunkSize();
      if (size == 0) break;
      body.Reserve(size);
      Client.ReadIntoStream(body, size, false);
      // The line end right after the data: anything before it is data the size did not
      // count, and the body would be returned cut short.
      if (!Client.ReadLine().empty()) throw EIdHTTPMalformedChunk("Chunk data longer than its size");
    }
    ReadTrailer();
  } else if (r.ContentLength < 0) {
    Client.ReadIntoStream(body, -1, true);
  }
}

std::int64_t TIdHTTPProtocol::ReadChunkSize() {
  std::string line = Client.ReadLine();
  // "1a", "1A", "1a ; name=x", "1a;name=x": the size is the hex number before any extension.
  line = Trim(FetchToken(line, ";"));
  line = FetchToken(line, " ");
  if (line.empty()) throw EIdHTTPMalformedChunk("Chunk size is not a hexadecimal number");
  std::int64_t size = 0;
  for (char c : line) {
    const int digit = HexDigit(c);
    if (digit < 0) throw EIdHTTPMalformedChunk("Chunk size is not a hexadecimal number");
    size = size * 16 + digit;
    if (size > kMaxChunkSize) throw EIdHTTPLimitExceeded("Chunk size too large");
  }
  return size;
}

void TIdHTTPProtocol::ReadTrailer() {
  // Trailer lines up to the empty line, so that a kept-alive connection stays in step.
  std::int64_t bytes = 0;
  try {
    for (int lines = 0;; ++lines) {
      std::string line = Client.ReadLine();
      if (line.empty()) return;
      bytes += static_cast<std::int64_t>(line.size()) + 2;
      if (lines >= kMaxResponseHeaderLines || bytes > kMaxResponseHeaderBytes)
        throw EIdHTTPLimitExceeded("Response trailer too large");
    }
  } catch (const EIdConnClosedGracefully&) {
    // The body is complete; a peer that closes instead of ending the trailer ends the
    // connection, not the exchange.
  }
}
