#include "verify_client/VerifyClient.h"

#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "platform/Platform.h"

namespace {

/// "connected to ::1 (IPv6) after 3 ms, after 12 ms": where and when the connection stood (or
/// that none was made, or that the one kept from the last request served), and when the
/// exchange ended.
std::string Timing(std::int64_t connectedMs, const std::string& peer, std::uint32_t start, bool answered) {
  const std::string where = peer.empty() ? "" : "to " + peer + " ";
  const std::string connected = connectedMs >= 0
                                    ? "connected " + where + "after " + std::to_string(connectedMs) + " ms, "
                                : answered ? "over the connection kept open, "
                                           : "no connection, ";
  return connected + "after " + std::to_string(platform::TickCount() - start) + " ms";
}

/// A text of the program (code page 936): the message of an error is one.
std::string NoAnswer(const char* errorClass, const std::string& message, std::int64_t connectedMs,
                     const std::string& peer, std::uint32_t start) {
  return std::string("  no answer: ") + errorClass + ": " + message + "; " + Timing(connectedMs, peer, start, false);
}

/// Whether `dest` is `from` over HTTPS: the same host and path, from http:// to https://.
bool IsUpgradeToHttps(const TIdURI& from, const std::string& dest) {
  const TIdURI to(dest);
  return SameText(from.Protocol, "http") && SameText(to.Protocol, "https") && SameText(to.Host, from.Host) &&
         to.Path + to.Document + to.Params == from.Path + from.Document + from.Params;
}

}  // namespace

void ConfigureVerifyClient(TIdHTTP& http) {
  http.Request().ContentType = "text/html";
  http.Request().Accept = "text/html, */*";
  http.Request().UserAgent = "Mozilla/3.0 (compatible; QOR Net Library)";
  http.Request().ContentLength = -1;
  http.Request().ContentRangeStart = 0;
  http.Request().ContentRangeEnd = 0;
  http.Request().BasicAuthentication = false;
  http.AuthRetries = 3;
  http.AllowCookies = true;
  http.HTTPOptions = hoForceEncodeParams;
  http.RedirectMaximum = 15;
  // One redirect is followed: a mirror behind a service that moves plain HTTP to HTTPS, the
  // same host and path. Every other one is refused, and its Location logged.
  http.HandleRedirects = true;
  http.OnRedirect = [](TIdCustomHTTP& sender, std::string& dest, int numRedirect, bool& handled, TIdHTTPMethod&) {
    handled = numRedirect == 1 && IsUpgradeToHttps(sender.WorkingUri(), dest);
    if (handled) LogLine("  moved to " + dest + ": followed, the same host and path over HTTPS");
  };
  http.ProtocolVersion = pv1_1;
  http.ReadTimeout = kVerifyReadTimeoutMs;
  http.MaxLineAction = maException;
  http.MaxLineLength = IdMaxLineLengthDefault;
  http.MaxBodySize = kVerifyMaxBodySize;
  http.RequestTimeLimit = kVerifyRequestTimeLimitMs;
}

std::string FetchReplyLogged(TIdHTTP& http, const std::string& url) {
  const std::uint32_t start = platform::TickCount();
  std::int64_t connectedMs = -1;
  std::string peer;  // the address and family connected
  TIdNotifyEvent before = http.OnConnected;
  http.OnConnected = [&](TIdComponent* sender) {
    connectedMs = platform::TickCount() - start;
    const TIdSocketHandle* binding = http.Socket() ? http.Socket()->Binding() : nullptr;
    if (binding) peer = binding->PeerIP + " (" + FamilyName(binding->Family) + ")";
    if (before) before(sender);
  };
  auto restore = OnScopeExit([&] { http.OnConnected = before; });
  try {
    std::string body = http.FetchUrl(url);
    LogLine("  answered: status " + std::to_string(http.ResponseCode()) + ", " + std::to_string(body.size()) +
            " bytes; " + Timing(connectedMs, peer, start, true));
    return body;
  } catch (const EIdProtocolReplyError& e) {
    const std::string& location = http.Response().Location;
    const std::string moved = e.ReplyCode / 100 == 3 && !location.empty() ? ", moved to " + location : "";
    LogText(NoAnswer(e.ClassName(), e.Message() + " (status " + std::to_string(e.ReplyCode) + moved + ")", connectedMs,
                     peer, start));
    throw;
  } catch (const Exception& e) {
    LogText(NoAnswer(e.ClassName(), e.Message(), connectedMs, peer, start));
    throw;
  } catch (const std::exception& e) {
    LogText(NoAnswer("error", e.what(), connectedMs, peer, start));
    throw;
  }
}
