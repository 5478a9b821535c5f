#pragma once
// The typed form of HTTP headers: one field per header, written into and read from a raw
// header list (TIdHeaderList).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http/IdAuthentication.h"
#include "net/http/IdGlobal.h"
#include "net/http/IdHeaderList.h"

class TIdEntityHeaderInfo {
 public:
  TIdEntityHeaderInfo();
  virtual ~TIdEntityHeaderInfo() = default;
  TIdEntityHeaderInfo(const TIdEntityHeaderInfo&) = delete;
  TIdEntityHeaderInfo& operator=(const TIdEntityHeaderInfo&) = delete;

  /// Sets the fields from HeaderLines.
  virtual void ReadFromLines();
  /// Rebuilds HeaderLines from the fields.
  virtual void WriteToLines();
  virtual void ResetFields();

  TIdHeaderList HeaderLines;    // folded at 1024 columns
  TIdHeaderList CustomHeaders;  // extra raw lines, written after the entity headers
  std::string Connection, ContentVersion, ContentEncoding, ContentLanguage, ContentType;
  std::int32_t ContentLength = -1;
  bool ContentLengthGiven = false;
  std::int32_t ContentRangeStart = 0, ContentRangeEnd = 0;
  std::string CacheControl;
  TDateTime Date = 0, Expires = 0, LastModified = 0;
  std::string Pragma;

 protected:
  void ReadEntityLines();
  void WriteEntityLines();
  void ResetEntityFields();
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdRequestHeaderInfo();
  void ReadFromLines() override;
  void WriteToLines() override;
  void ResetFields() override;

  std::string Accept, AcceptCharSet, AcceptEncoding, AcceptLanguage, From, Referer, Host, ProxyConnection, UserAgent,
      Username, Password;
  bool BasicAuthentication = false;
  /// Owned; created by an authorization step or by BasicAuthentication when writing.
  std::unique_ptr<TIdAuthentication> Credentials;
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdResponseHeaderInfo();
  void ReadFromLines() override;
  void ResetFields() override;

  std::string Location, Server, ProxyConnection;
  std::vector<std::string> WWWAuthenticate, ProxyAuthenticate;
};

class TIdProxyConnectionInfo {
 public:
  void Clear();
  /// Adds "Proxy-Authorization" to `headers` when the system signed the user in (Negotiate,
  /// NTLM); Basic credentials, a password in clear text, are never sent to a proxy.
  void SetHeaders(TIdHeaderList& headers);

  std::string ProxyServer, ProxyUsername, ProxyPassword;
  int ProxyPort = 0;
  /// Kept for the client's data model; a proxy never gets Basic credentials.
  bool BasicAuthentication = false;
  std::unique_ptr<TIdAuthentication> Credentials;
};
