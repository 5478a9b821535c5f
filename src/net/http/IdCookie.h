#pragma once
// Cookie items parsed from "Set-cookie" / "Set-cookie2" values, and the store that keeps them
// per domain behind a multi-reader, single-writer lock.
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

class TIdNetscapeCookie {
 public:
  virtual ~TIdNetscapeCookie() = default;
  /// Reads "name=value; attribute=value; flag; ...".
  void ParseCookie(const std::string& text);
  /// True when the cookie may be kept for a response from `host`: an address literal or a
  /// domain without a leading dot must equal the host; a ".domain" must equal the host's
  /// part from its first dot on.
  bool IsAllowed(const std::string& host) const;
  /// True when this cookie goes with a request to `host`: the host equals the domain or ends
  /// with "." and the domain (its own leading dot dropped).
  bool MatchesHost(const std::string& host) const;
  /// True when the EXPIRES date is given and lies before `now` (local time).
  bool IsExpired(double now) const;
  /// "name=value".
  std::string CookieText() const { return Name + "=" + Value; }

  std::string Name, Value, Path, Expires, Domain, Version, Comment;
  bool Secure = false;
  int MaxAge = -1;

 protected:
  /// Reads the attributes a subclass adds; false when the part is not one of them.
  virtual bool ReadAttribute(const std::string& name, const std::string& value);

 private:
  std::string text_;
};

/// The item made for "Set-cookie".
class TIdCookieRFC2109 : public TIdNetscapeCookie {};

/// The item made for "Set-cookie2": adds CommentURL, Discard and the port list.
class TIdCookieRFC2965 : public TIdNetscapeCookie {
 public:
  std::string CommentURL;
  bool Discard = false;
  std::vector<int> PortList{80};

 protected:
  bool ReadAttribute(const std::string& name, const std::string& value) override;
};

/// True for four dot-separated decimal parts of 0 to 255.
bool IsIPv4Literal(const std::string& text);

/// The cookies of one domain.
struct TIdCookieList {
  std::string Domain;
  std::vector<std::unique_ptr<TIdNetscapeCookie>> Items;
};

class TIdCookies {
 public:
  /// Stores the cookie under its domain; a stored cookie of the same name (ignoring case)
  /// takes the new one's values instead.
  void Add(std::unique_ptr<TIdNetscapeCookie> cookie);
  /// Drops every cookie whose EXPIRES lies before `now`.
  void RemoveExpired(double now);
  /// "name=value" texts of the cookies for a request, in the order they are sent.
  std::vector<std::string> Select(const std::string& host, const std::string& path, bool secure) const;
  int Count() const;

 private:
  mutable platform::Lock lock_;  // readers share it
  std::vector<TIdCookieList> domains_;
};
