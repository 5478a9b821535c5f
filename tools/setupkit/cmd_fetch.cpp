// setupkit fetch: runs the launcher's own HTTP client, with the verification window's settings,
// on each URL in turn (one client, so a kept-alive connection is reused as the launcher would).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Command.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "base/Classes.h"
#include "net/http/IdHTTP.h"
#include "platform/Platform.h"
#include "platform/Proxy.h"
#include "verify_client/VerifyClient.h"

namespace {
/// The process's standard output as a stream the body is written into as it arrives: as it is
/// to a file or a pipe, through the tool's escaping to a terminal (a server's body is no
/// text for it to obey).
class TStdoutStream : public TStream {
 public:
  int Read(void*, int) override { return 0; }
  int Write(const void* buffer, int count) override {
    if (count <= 0) return 0;
    if (terminal_) {
      platform::WriteStd(1,
                         TerminalText(std::string(static_cast<const char*>(buffer), static_cast<std::size_t>(count))));
      written_ += count;
      return count;
    }
    std::size_t n = std::fwrite(buffer, 1, static_cast<std::size_t>(count), stdout);
    written_ += static_cast<std::int64_t>(n);
    return static_cast<int>(n);
  }
  // Only the current position can be asked for or kept; there is no going back.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    if (!(offset == 0 || (origin == soBeginning && offset == written_))) throw EStreamError("Invalid stream operation");
    return written_;
  }
  void SetSize(std::int64_t) override {}

 private:
  const bool terminal_ = platform::StdoutIsTerminal();
  std::int64_t written_ = 0;
};

/// Each CR LF line of the request head as "> line" (the empty line ending it as ">").
void RequestLines(const std::string& head) {
  std::size_t start = 0;
  while (start < head.size()) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    if (end == start)
      Print(stderr, ">\n");
    else
      Print(stderr, "> %s\n", head.substr(start, end - start).c_str());
    start = end + 2;
  }
}

const char* ModeName(TWorkMode mode) { return mode == wmRead ? "wmRead" : "wmWrite"; }

int RunFetch(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"-v", "--verbose"}, false}, {{"--max-body"}, true}, {{"--read-timeout"}, true}});
  const bool verbose = cl.Has("-v");
  std::int64_t maxBody = kVerifyMaxBodySize;
  int readTimeout = kVerifyReadTimeoutMs;
  if (cl.Has("--read-timeout")) {
    char* end = nullptr;
    const std::string value = cl.Value("--read-timeout");
    const long ms = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || ms < 0 || ms > 86400000)
      throw EUsageError("--read-timeout needs milliseconds");
    readTimeout = static_cast<int>(ms);
  }
  if (cl.Has("--max-body")) {
    char* end = nullptr;
    const std::string value = cl.Value("--max-body");
    maxBody = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || maxBody < 0) throw EUsageError("--max-body needs a number of bytes");
  }
  cl.ExpectOperands(1, SIZE_MAX, "at least one URL");
  const std::vector<std::string>& urls = cl.Operands();
  // Each URL stands on its own: one without its scheme would be taken relative to the one before.
  for (const auto& url : urls) {
    try {
      CheckHttpUrl(url);
    } catch (const EMirrorUrlError& e) {
      throw EUsageError(e.Message());
    }
  }

  TIdHTTP http;
  ConfigureVerifyClient(http);
  http.MaxBodySize = maxBody;
  http.ReadTimeout = readTimeout;
  if (verbose) {
    http.OnRequestHead = RequestLines;
    http.OnResponseHead = [&http]() {
      // What the server sent, escaped: no control sequence reaches the terminal.
      Print(stderr, "< %s\n", VisibleBytes(http.Response().StatusLine).c_str());
      for (const auto& line : http.Response().HeaderLines.Lines()) Print(stderr, "< %s\n", VisibleBytes(line).c_str());
      Print(stderr, "<\n");
    };
    http.OnWorkBegin = [](TIdComponent*, TWorkMode mode, std::int64_t max) {
      Print(stderr, "* OnWorkBegin %s %lld\n", ModeName(mode), static_cast<long long>(max));
    };
    http.OnWork = [](TIdComponent*, TWorkMode mode, std::int64_t count) {
      Print(stderr, "* OnWork %s %lld\n", ModeName(mode), static_cast<long long>(count));
    };
    http.OnWorkEnd = [](TIdComponent*, TWorkMode mode) { Print(stderr, "* OnWorkEnd %s\n", ModeName(mode)); };
  }

  int failures = 0;
  platform::SetStdoutBinary();
  TStdoutStream out;
  for (const auto& url : urls) {
    try {
      // The first route the system's settings give: what went to the output cannot be taken
      // back to try another.
      const platform::ProxyRoutes routes = platform::RoutesForUrl(url);
      UseRoute(http, routes.routes.front());
      if (verbose)
        Print(stderr, "* route: %s (%s)\n", platform::RouteText(routes.routes.front()).c_str(),
              platform::RouteReasonText(routes).c_str());
      http.FetchUrlToStream(url, out);
    } catch (const Exception& e) {
      std::fflush(stdout);
      Print(stderr, "setupkit fetch: %s: %s: %s\n", url.c_str(), e.ClassName(), VisibleBytes(e.Message()).c_str());
      ++failures;
    }
  }
  std::fflush(stdout);
  return failures == 0 ? 0 : kExitNo;
}

const RegisterCommand reg{"fetch", "[--verbose] [--max-body BYTES] [--read-timeout MS] URL...",
                          "fetch URLs with the launcher's HTTP client and settings (bodies to stdout; "
                          "--verbose: request, response head and work events on stderr; --max-body 0: "
                          "no body limit; --read-timeout: read and connect limit, 0 none)",
                          RunFetch};
}  // namespace
