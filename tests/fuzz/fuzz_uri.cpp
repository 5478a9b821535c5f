// URL splitting, composing and path merging on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"
#include "net/http/IdURI.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  SetTextCodePage(size % 2 == 0 ? 936 : 1252);
  TIdURI uri(text);
  // Parsing keeps every byte: the parts never hold more than the (slash-converted) text.
  if (uri.Protocol.size() + uri.Host.size() + uri.Path.size() + uri.Document.size() + uri.Params.size() +
          uri.Bookmark.size() >
      uri.Uri.size() + 1)
    std::abort();
  try {
    std::string composed = uri.ComposeUri(true, true);
    TIdURI again(composed);
    if (again.Protocol != uri.Protocol) std::abort();
  } catch (const EIdURIException&) {
  }
  const std::size_t half = size / 2;
  std::string merged = TIdURI::MergePath(text.substr(0, half), text.substr(half), "/");
  if (!text.substr(half).empty() && text[half] == '/' && merged != text.substr(half)) std::abort();
  std::string rest = text;
  FetchToken(rest, "://");
  FetchTokenNoCase(rest, "x");
  FindLast("/", text, static_cast<long>(size % 7) - 1);
  SetTextCodePage(936);
  return 0;
}
