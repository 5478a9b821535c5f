#include "net/http/IdHTTPHeaderInfo.h"

#include <string>

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"

namespace {
void SetIf(TIdHeaderList& h, const char* name, const std::string& value) {
  if (!value.empty()) h.SetHeaderValue(name, value);
}

// Text fields that are read from and written to the header of the same name: one list for
// both directions, in the order the fields are written.
template <typename TRecord>
struct TTextHeader {
  const char* name;
  std::string TRecord::*field;
};

const TTextHeader<TIdEntityHeaderInfo> kEntityTextHeaders[] = {
    {"Connection", &TIdEntityHeaderInfo::Connection},
    {"Content-Version", &TIdEntityHeaderInfo::ContentVersion},
    {"Content-Encoding", &TIdEntityHeaderInfo::ContentEncoding},
    {"Content-Language", &TIdEntityHeaderInfo::ContentLanguage},
    {"Content-Type", &TIdEntityHeaderInfo::ContentType},
};

const TTextHeader<TIdRequestHeaderInfo> kRequestTextHeaders[] = {
    {"Host", &TIdRequestHeaderInfo::Host},
    {"Accept", &TIdRequestHeaderInfo::Accept},
    {"Accept-Charset", &TIdRequestHeaderInfo::AcceptCharSet},
    {"Accept-Encoding", &TIdRequestHeaderInfo::AcceptEncoding},
    {"Accept-Language", &TIdRequestHeaderInfo::AcceptLanguage},
    {"From", &TIdRequestHeaderInfo::From},
    {"Referer", &TIdRequestHeaderInfo::Referer},
    {"User-Agent", &TIdRequestHeaderInfo::UserAgent},
};

template <typename TRecord, std::size_t N>
void ReadTextHeaders(TRecord& record, const TTextHeader<TRecord> (&headers)[N]) {
  for (const auto& h : headers) record.*h.field = record.HeaderLines.HeaderValue(h.name);
}

template <typename TRecord, std::size_t N>
void WriteTextHeaders(TRecord& record, const TTextHeader<TRecord> (&headers)[N]) {
  for (const auto& h : headers) SetIf(record.HeaderLines, h.name, record.*h.field);
}

std::string RangeText(std::int32_t start, std::int32_t end) {
  return "bytes=" + std::to_string(start) + "-" + (end != 0 ? std::to_string(end) : "");
}
}  // namespace

// ---- entity --------------------------------------------------------------------------

TIdEntityHeaderInfo::TIdEntityHeaderInfo() {
  HeaderLines.FoldWidth = 1024;
  ResetEntityFields();
}

void TIdEntityHeaderInfo::ResetFields() { ResetEntityFields(); }

void TIdEntityHeaderInfo::ResetEntityFields() {
  HeaderLines.Clear();
  Connection = ContentVersion = ContentEncoding = ContentLanguage = "";
  ContentType = "text/html";
  ContentLength = -1;
  ContentRangeStart = ContentRangeEnd = 0;
  Date = Expires = LastModified = 0;
}

void TIdEntityHeaderInfo::ReadFromLines() { ReadEntityLines(); }
void TIdEntityHeaderInfo::WriteToLines() { WriteEntityLines(); }

void TIdEntityHeaderInfo::ReadEntityLines() {
  const TIdHeaderList& h = HeaderLines;
  ReadTextHeaders(*this, kEntityTextHeaders);
  ContentLength = StrToIntDef(Trim(h.HeaderValue("Content-Length")), -1);
  ContentLengthGiven = ContentLength >= 0;
  Date = InternetDateToLocal(h.HeaderValue("Date"));
  LastModified = InternetDateToLocal(h.HeaderValue("Last-Modified"));
  // Expires is a date, or a number of seconds from now (a server's shorthand). A number is
  // taken as an offset whatever its size; -1 is an unreadable date like any other.
  const std::string expires = h.HeaderValue("Expires");
  std::int32_t seconds;
  if (TryStrToInt(expires, seconds) && seconds != -1)
    Expires = Now() + seconds / 86400.0;
  else
    Expires = InternetDateToLocal(expires);
  Pragma = h.HeaderValue("Pragma");
}

void TIdEntityHeaderInfo::WriteEntityLines() {
  TIdHeaderList& h = HeaderLines;
  h.Clear();
  WriteTextHeaders(*this, kEntityTextHeaders);
  if (ContentLength >= 0) h.SetHeaderValue("Content-Length", std::to_string(ContentLength));
  SetIf(h, "Cache-control", CacheControl);
  if (Date > 0) h.SetHeaderValue("Date", FormatInternetDate(Date));
  if (Expires > 0) h.SetHeaderValue("Expires", FormatInternetDate(Expires));
  SetIf(h, "Pragma", Pragma);
  for (int i = 0; i < CustomHeaders.Count(); ++i) h.Add(CustomHeaders[i]);
}

// ---- request ---------------------------------------------------------------------------

TIdRequestHeaderInfo::TIdRequestHeaderInfo() { ResetFields(); }

void TIdRequestHeaderInfo::ResetFields() {
  Accept = "text/html, */*";
  AcceptCharSet = "";
  UserAgent = "Mozilla/3.0 (compatible; QOR Net Library)";
  BasicAuthentication = false;
  ResetEntityFields();
}

void TIdRequestHeaderInfo::ReadFromLines() {
  const TIdHeaderList& h = HeaderLines;
  ReadTextHeaders(*this, kRequestTextHeaders);
  std::string range = h.HeaderValue("Range");
  if (!range.empty()) {
    FetchToken(range, "=");
    ContentRangeStart = StrToIntDef(FetchToken(range, "-"), 0);
    ContentRangeEnd = StrToIntDef(range, 0);
  }
  ReadEntityLines();
}

void TIdRequestHeaderInfo::WriteToLines() {
  WriteEntityLines();
  TIdHeaderList& h = HeaderLines;
  SetIf(h, "Proxy-Connection", ProxyConnection);
  WriteTextHeaders(*this, kRequestTextHeaders);
  if (LastModified > 0) h.SetHeaderValue("If-Modified-Since", FormatInternetDate(LastModified));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0)
    h.SetHeaderValue("Range", RangeText(ContentRangeStart, ContentRangeEnd));
  if (!Credentials && BasicAuthentication) {
    auto basic = std::make_unique<TIdBasicAuthentication>();
    basic->Username = Username;
    basic->Password = Password;
    Credentials = std::move(basic);
  }
  if (Credentials) SetIf(h, "Authorization", Credentials->Authentication());
}

// ---- response --------------------------------------------------------------------------

TIdResponseHeaderInfo::TIdResponseHeaderInfo() { ResetFields(); }

void TIdResponseHeaderInfo::ResetFields() {
  ResetEntityFields();
  Location = Server = "";
  WWWAuthenticate.clear();
  ProxyAuthenticate.clear();
}

void TIdResponseHeaderInfo::ReadFromLines() {
  const TIdHeaderList& h = HeaderLines;
  Location = h.HeaderValue("Location");
  Server = h.HeaderValue("Server");
  ProxyConnection = h.HeaderValue("Proxy-Connection");
  // "bytes 0-99/200"; parts that are not numbers read as 0 rather than failing a good reply.
  std::string range = h.HeaderValue("Content-Range");
  if (!range.empty()) {
    FetchToken(range, " ");
    ContentRangeStart = StrToIntDef(FetchToken(range, "-"), 0);
    ContentRangeEnd = StrToIntDef(FetchToken(range, "/"), 0);
  }
  WWWAuthenticate.clear();
  h.ExtractValues("WWW-Authenticate", &WWWAuthenticate);
  ProxyAuthenticate.clear();
  h.ExtractValues("Proxy-Authenticate", &ProxyAuthenticate);
  ReadEntityLines();
}

// ---- proxy -------------------------------------------------------------------------------

void TIdProxyConnectionInfo::Clear() {
  ProxyServer = ProxyUsername = ProxyPassword = "";
  ProxyPort = 0;
}

void TIdProxyConnectionInfo::SetHeaders(TIdHeaderList& headers) {
  // Only a sign-in the system made (Negotiate, NTLM): a Basic user name and password would
  // cross the network in clear text, so they are never sent to a proxy.
  if (Credentials && !SameText(Credentials->Scheme(), "Basic"))
    SetIf(headers, "Proxy-Authorization", Credentials->Authentication());
}
