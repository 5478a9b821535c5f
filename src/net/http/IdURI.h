#pragma once
// A URL split into its parts and composed again, byte for byte (nothing is escaped or
// unescaped), and the resolution of a relative path against a base path.
#include <string>

#include "net/transport/IdException.h"

SETUPTQ_EXCEPTION(EIdURIException, EIdException);

class TIdURI {
 public:
  TIdURI() = default;
  explicit TIdURI(const std::string& uri);

  /// Replaces every field. Never fails: every text yields some split.
  void ParseUri(std::string uri);
  /// protocol://[user[:password]@]host[:port]path document params[#bookmark]. Raises
  /// EIdURIException "Protocol field is empty" / "Host field is empty".
  std::string ComposeUri(bool includeUserInfo, bool includeBookmark) const;
  /// Stores the full composition (user information and bookmark included) as the URI text and
  /// answers the composition without them.
  std::string FullUri();

  /// Resolves `path` against `base`: an absolute path replaces it, "." stays, ".." removes the
  /// last segment, runs of delimiters collapse.
  static std::string MergePath(const std::string& base, const std::string& path, const std::string& delimiter = "/");
  /// A host as a URL or a Host header writes it: an IPv6 address in brackets ("[::1]"), any
  /// other host as it is. Host holds an IPv6 address without them.
  static std::string HostForUri(const std::string& host);

  std::string Uri, Protocol, Username, Password, Host, Port, Path, Document, Params, Bookmark;
};
