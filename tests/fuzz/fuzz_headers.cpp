// Header lists (lookup, setting, folding) and the response record's reading on arbitrary lines.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http/IdHTTPHeaderInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  TIdResponseHeaderInfo response;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    response.HeaderLines.Add(text.substr(start, end - start));
    start = end + 1;
  }
  response.ReadFromLines();
  for (int i = 0; i < response.HeaderLines.Count(); ++i) response.HeaderLines.ValueOfLine(i);

  // Folding always yields at least one line.
  const int width = 8 + static_cast<int>(size % 64);
  auto folded = TIdHeaderList::FoldLine(text, width);
  if (folded.empty()) std::abort();

  TIdRequestHeaderInfo request;
  request.Host = text.substr(0, size / 3);
  request.Referer = text.substr(size / 3);
  request.HeaderLines.FoldWidth = width;
  request.WriteToLines();
  request.HeaderLines.SetHeaderValue("Referer", "");
  InternetDateToLocal(text);
  return 0;
}
