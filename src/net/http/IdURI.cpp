#include "net/http/IdURI.h"

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"

TIdURI::TIdURI(const std::string& uri) {
  if (!uri.empty()) ParseUri(uri);
}

namespace {
/// Position q of the query (the first "?", else the first "=") and the end d of the
/// directory part (the last "/" before q, or in the whole text).
void SplitPoints(const std::string& t, std::size_t& q, std::size_t& d) {
  q = PosText("?", t);
  if (q == 0) q = PosText("=", t);
  d = q > 0 ? FindLast("/", t, static_cast<long>(q)) : FindLast("/", t, -1);
}
}  // namespace

void TIdURI::ParseUri(std::string uri) {
  // Backslashes become slashes, except a trail byte of a double-byte character.
  for (std::size_t i = 0; i < uri.size(); i += CharLength(uri, i))
    if (uri[i] == '\\') uri[i] = '/';
  Uri = uri;
  Protocol = Username = Password = Host = Port = Path = Document = Params = Bookmark = "";

  std::string t = uri;
  std::size_t q, d;
  if (PosText("://", t) != 0) {
    Protocol = FetchToken(t, "://");
    std::string authority = FetchToken(t, "/");
    std::string userInfo;
    if (PosText("@", authority) != 0) userInfo = FetchToken(authority, "@");
    Username = FetchToken(userInfo, ":");
    Password = Username.empty() ? "" : userInfo;
    if (authority.compare(0, 1, "[") == 0 && authority.find(']') != std::string::npos) {
      // An IPv6 literal: its colons are the address's; the host is kept without brackets.
      const std::size_t close = authority.find(']');
      Host = authority.substr(1, close - 1);
      authority.erase(0, close + 1);
      if (authority.compare(0, 1, ":") == 0) authority.erase(0, 1);
    } else {
      Host = FetchToken(authority, ":");
    }
    Port = authority;
    SplitPoints(t, q, d);
    Path = "/" + t.substr(0, d);
  } else {
    SplitPoints(t, q, d);
    Path = t.substr(0, d);
  }
  if (q == 0) {
    Document = t;
  } else {
    Document = t.substr(0, q - 1);
    Params = t.substr(q - 1);
  }
  Document.erase(0, d);
  if (PosText("#", Document) != 0) {
    Bookmark = Document;
    Document = FetchToken(Bookmark, "#");
  }
  if (Bookmark.empty()) {
    Bookmark = Params;
    Params = FetchToken(Bookmark, "#");
  }
}

std::string TIdURI::ComposeUri(bool includeUserInfo, bool includeBookmark) const {
  if (Protocol.empty()) throw EIdURIException("Protocol field is empty");
  std::string s = Protocol + "://";
  if (includeUserInfo && !Username.empty()) {
    s += Username;
    if (!Password.empty()) s += ":" + Password;
    s += "@";
  }
  if (Host.empty()) throw EIdURIException("Host field is empty");
  s += HostForUri(Host);
  if (!Port.empty()) s += ":" + Port;
  s += Path + Document + Params;
  if (includeBookmark && !Bookmark.empty()) s += "#" + Bookmark;
  return s;
}

std::string TIdURI::HostForUri(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string TIdURI::FullUri() {
  Uri = ComposeUri(true, true);
  return ComposeUri(false, false);
}

std::string TIdURI::MergePath(const std::string& base, const std::string& path, const std::string& delimiter) {
  if (delimiter.empty()) return base + path;
  if (PosText(delimiter, path) == 1) return path;
  auto endsWith = [&](const std::string& s) {
    return s.size() >= delimiter.size() && s.compare(s.size() - delimiter.size(), delimiter.size(), delimiter) == 0;
  };
  const bool keepTrailing = path.empty() || endsWith(path);
  std::string w = base;
  if (!w.empty() && !endsWith(w)) w += delimiter;
  w += path;

  std::string r;
  for (std::size_t i = 0; i < w.size();) {
    if (w.compare(i, delimiter.size(), delimiter) == 0) {
      if (i == 0)
        r = delimiter;
      else if (!endsWith(r))
        r += delimiter;
      i += delimiter.size();
      continue;
    }
    if (w[i] == '.' && endsWith(r) && w.compare(i, 2, "..") == 0) {
      // ".." after a delimiter: drop the last segment together with its delimiter.
      r.erase(r.size() - 1);
      while (!r.empty() && !endsWith(r)) r.erase(r.size() - 1);
      i += 2;
      continue;
    }
    r += w[i++];
  }
  if (r != delimiter && endsWith(r) && !keepTrailing) r.erase(r.size() - delimiter.size());
  return r;
}
