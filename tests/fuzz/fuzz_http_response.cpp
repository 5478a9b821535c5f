// Whole responses read by the verification client over an in-memory connection: the input is
// split into arrivals at 0xFF bytes, and the client fetches twice, so that what one response
// leaves behind meets the next exchange on a kept-alive connection.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http/IdHTTP.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "verify_client/VerifyClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TIdIOHandlerMemory wire;
  std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (;;) {
    std::size_t cut = input.find('\xFF', start);
    wire.AddInput(input.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
    if (cut == std::string::npos) break;
    start = cut + 1;
  }
  wire.ClosePeer();

  TIdHTTP http;
  ConfigureVerifyClient(http);
  http.MaxBodySize = 64 * 1024;  // keeps each run small; the limit logic is the same
  http.SetIOHandler(&wire);
  int level = 0;
  http.OnWorkBegin = [&](TIdComponent*, TWorkMode, std::int64_t) { ++level; };
  http.OnWorkEnd = [&](TIdComponent*, TWorkMode) { --level; };
  for (const char* url : {"http://mirror.example/brenlow/a.htm", "http://mirror.example/b.htm"}) {
    try {
      std::string body = http.FetchUrl(url);
      if (static_cast<std::int64_t>(body.size()) > http.MaxBodySize) std::abort();
    } catch (const Exception&) {
      // Every failure is an exception of the system's tree; anything else escapes and crashes.
    }
    if (level != 0) std::abort();  // every work bracket closed on every way out
  }
  http.SetIOHandler(nullptr);
  return 0;
}
