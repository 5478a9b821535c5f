#include "verify_client/VerifyClient.h"

void ConfigureVerifyClient(TIdHTTP& http) {
  http.Request().ContentType = "text/html";
  http.Request().Accept = "text/html, */*";
  http.Request().UserAgent = "Mozilla/3.0 (compatible; QOR Net Library)";
  http.Request().ContentLength = -1;
  http.Request().ContentRangeStart = 0;
  http.Request().ContentRangeEnd = 0;
  http.Request().BasicAuthentication = false;
  http.AuthRetries = 3;
  http.AllowCookies = true;
  http.HTTPOptions = hoForceEncodeParams;
  http.RedirectMaximum = 15;
  http.HandleRedirects = false;
  http.ProtocolVersion = pv1_1;
  http.ReadTimeout = kVerifyReadTimeoutMs;
  http.MaxLineAction = maException;
  http.MaxLineLength = IdMaxLineLengthDefault;
  http.MaxBodySize = kVerifyMaxBodySize;
  http.RequestTimeLimit = kVerifyRequestTimeLimitMs;
}
