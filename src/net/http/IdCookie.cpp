#include "net/http/IdCookie.h"

#include <algorithm>

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"

namespace {
std::string TrimSpaces(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
}  // namespace

bool IsIPv4Literal(const std::string& text) {
  std::string rest = text;
  for (int part = 0; part < 4; ++part) {
    if (part < 3 && PosText(".", rest) == 0) return false;
    std::string p = part < 3 ? FetchToken(rest, ".") : rest;
    if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos) return false;
    if (std::stoi(p) > 255) return false;
  }
  return true;
}

void TIdNetscapeCookie::ParseCookie(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  std::vector<std::string> parts;
  std::string rest = text;
  while (PosText(";", rest) != 0) parts.push_back(TrimSpaces(FetchToken(rest, ";")));
  if (!TrimSpaces(rest).empty() || parts.empty()) parts.push_back(TrimSpaces(rest));

  std::string first = parts[0];
  Name = FetchToken(first, "=");
  Value = first;
  Path = Expires = Domain = Version = Comment = "";
  Secure = false;
  MaxAge = -1;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string value = parts[i];
    std::string name = UpperCase(PosText("=", value) != 0 ? FetchToken(value, "=") : value);
    if (PosText("=", parts[i]) == 0) value.clear();
    if (name == "PATH") {
      if (!value.empty() && value.front() == '"') value.erase(0, 1);
      if (!value.empty() && value.back() == '"') value.pop_back();
      Path = value;
    } else if (name == "EXPIRES") {
      Expires = value;
    } else if (name == "DOMAIN") {
      Domain = value;
    } else if (name == "SECURE") {
      Secure = true;
    } else if (name == "MAX-AGE") {
      MaxAge = StrToIntDef(value, -1);
    } else if (name == "VERSION") {
      Version = value;
    } else if (name == "COMMENT") {
      Comment = value;
    } else {
      ReadAttribute(name, value);
    }
  }
  if (Expires.empty() && MaxAge >= 0) Expires = FormatInternetDate(Now() + MaxAge / 86400.0);
}

bool TIdNetscapeCookie::ReadAttribute(const std::string&, const std::string&) { return false; }

bool TIdCookieRFC2965::ReadAttribute(const std::string& name, const std::string& value) {
  if (name == "COMMENTURL") {
    CommentURL = value;
  } else if (name == "DISCARD") {
    Discard = true;
  } else if (name == "PORT") {
    PortList.clear();
    std::string list = value;
    if (!list.empty() && list.front() == '"') list.erase(0, 1);
    if (!list.empty() && list.back() == '"') list.pop_back();
    while (!list.empty()) {
      std::int32_t port;
      if (TryStrToInt(Trim(FetchToken(list, ",")), port)) PortList.push_back(port);
    }
  } else {
    return false;
  }
  return true;
}

bool TIdNetscapeCookie::IsAllowed(const std::string& host) const {
  if (IsIPv4Literal(host)) return Domain == host;
  if (Domain.empty() || (Domain[0] != '.' && !IsIPv4Literal(Domain))) return Domain == host;
  std::size_t dot = host.find('.');
  return Domain == (dot == std::string::npos ? host : host.substr(dot));
}

bool TIdNetscapeCookie::MatchesHost(const std::string& host) const {
  const std::string h = UpperCase(host);
  std::string d = UpperCase(Domain);
  if (d.empty()) return false;
  if (h == d) return true;
  if (d[0] == '.') d.erase(0, 1);
  if (d.empty()) return false;
  return h.size() > d.size() + 1 && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
         h[h.size() - d.size() - 1] == '.';
}

bool TIdNetscapeCookie::IsExpired(double now) const { return !Expires.empty() && InternetDateToLocal(Expires) < now; }

void TIdCookies::Add(std::unique_ptr<TIdNetscapeCookie> cookie) {
  platform::LockGuard guard(lock_);
  auto list = std::find_if(domains_.begin(), domains_.end(),
                           [&](const TIdCookieList& l) { return SameText(l.Domain, cookie->Domain); });
  if (list == domains_.end()) {
    domains_.push_back(TIdCookieList{cookie->Domain, {}});
    list = domains_.end() - 1;
  }
  for (auto& stored : list->Items) {
    if (SameText(stored->Name, cookie->Name)) {
      stored = std::move(cookie);
      return;
    }
  }
  list->Items.push_back(std::move(cookie));
}

void TIdCookies::RemoveExpired(double now) {
  platform::LockGuard guard(lock_);
  for (auto& list : domains_) {
    auto& items = list.Items;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const std::unique_ptr<TIdNetscapeCookie>& c) { return c->IsExpired(now); }),
                items.end());
  }
}

std::vector<std::string> TIdCookies::Select(const std::string& host, const std::string& path, bool secure) const {
  platform::SharedLockGuard guard(lock_);
  std::vector<const TIdNetscapeCookie*> taken;
  for (const auto& list : domains_) {
    for (const auto& c : list.Items) {
      if (!c->MatchesHost(host)) continue;
      if (c->Path.empty() || path.compare(0, c->Path.size(), c->Path) != 0) continue;
      if (c->Secure && !secure) continue;
      if (c->Value.empty()) continue;
      taken.push_back(c.get());
    }
  }
  std::stable_sort(taken.begin(), taken.end(), [](const TIdNetscapeCookie* a, const TIdNetscapeCookie* b) {
    return UpperCase(a->Path) < UpperCase(b->Path);
  });
  std::vector<std::string> texts;
  for (auto it = taken.rbegin(); it != taken.rend(); ++it) texts.push_back((*it)->CookieText());
  return texts;
}

int TIdCookies::Count() const {
  platform::SharedLockGuard guard(lock_);
  int n = 0;
  for (const auto& list : domains_) n += static_cast<int>(list.Items.size());
  return n;
}
