// The proxy on Windows: the user's Internet Options through WinHTTP, as Windows' own HTTP stack
// resolves them. winhttp.dll is loaded at run time from the system folder only (nothing is
// linked, and a copy planted beside the program is never loaded).
#include <windows.h>
#include <winhttp.h>

#include "platform/Proxy.h"
#include "platform/SystemLibrary.h"
#include "platform/WideText.h"

namespace platform {

namespace {

/// Limits of fetching a script (resolve, connect, send, receive each), in milliseconds: a
/// script server that does not answer must not hold the check longer than a dead mirror does.
constexpr int kScriptFetchTimeoutMs = 10000;

using GetIEConfigFn = BOOL(WINAPI*)(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG*);
using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
using SetTimeoutsFn = BOOL(WINAPI*)(HINTERNET, int, int, int, int);
using GetProxyForUrlFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*, WINHTTP_PROXY_INFO*);

/// WinHTTP's entry points and one session for the run (it keeps the scripts it fetched).
struct WinHttp {
  GetIEConfigFn getIEConfig = nullptr;
  GetProxyForUrlFn getProxyForUrl = nullptr;
  HINTERNET session = nullptr;
  std::string error;  // why there is none
  /// Automatic detection found no script once: on a network without WPAD each detection
  /// costs seconds, so it is not tried again for every mirror of the run.
  std::string detectionFailed;
  Lock lock;  // over detectionFailed: setupkit asks for every mirror at once, each on a thread

  WinHttp() {
    HMODULE module = static_cast<HMODULE>(LoadSystemLibrary(L"winhttp.dll"));
    if (!module) {
      error = "winhttp.dll cannot be loaded (error " + std::to_string(GetLastError()) + ")";
      return;
    }
    auto symbol = [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
    getIEConfig = reinterpret_cast<GetIEConfigFn>(symbol("WinHttpGetIEProxyConfigForCurrentUser"));
    getProxyForUrl = reinterpret_cast<GetProxyForUrlFn>(symbol("WinHttpGetProxyForUrl"));
    auto open = reinterpret_cast<OpenFn>(symbol("WinHttpOpen"));
    auto setTimeouts = reinterpret_cast<SetTimeoutsFn>(symbol("WinHttpSetTimeouts"));
    if (open)
      session = open(L"setupTQ", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session && setTimeouts)
      setTimeouts(session, kScriptFetchTimeoutMs, kScriptFetchTimeoutMs, kScriptFetchTimeoutMs, kScriptFetchTimeoutMs);
    if (!getIEConfig) error = "winhttp.dll has no WinHttpGetIEProxyConfigForCurrentUser";
  }
};

WinHttp& Library() {
  static WinHttp library;  // for the run
  return library;
}

/// A wide string WinHTTP allocated, as bytes, freed.
std::string Take(LPWSTR wide) {
  if (!wide) return "";
  std::string text = FromWide(wide, -1, kProgramCodePage);
  GlobalFree(wide);
  return text;
}

/// WinHTTP's own names for the failures a script lookup has.
std::string ScriptErrorText(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_AUTODETECTION_FAILED: return "no script found (error 12180)";
    case ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT: return "the script cannot be downloaded (error 12167)";
    case ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT: return "the script fails (error 12166)";
    case ERROR_WINHTTP_TIMEOUT: return "timed out (error 12002)";
    default: return "error " + std::to_string(code);
  }
}

PacAnswer EvaluateScript(const std::string& url, const std::string& scriptUrl) {
  WinHttp& winhttp = Library();
  PacAnswer answer;
  if (!winhttp.session || !winhttp.getProxyForUrl) {
    answer.error = "WinHTTP's resolver is not available";
    return answer;
  }
  const std::wstring wideUrl = ToWide(url, kProgramCodePage);
  const std::wstring wideScript = ToWide(scriptUrl, kProgramCodePage);
  if (scriptUrl.empty()) {
    LockGuard guard(winhttp.lock);
    if (!winhttp.detectionFailed.empty()) {
      answer.error = winhttp.detectionFailed;
      return answer;
    }
  }
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (scriptUrl.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = wideScript.c_str();
  }
  // The script server may ask who the user is, as it may of Windows' own HTTP stack.
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info = {};
  if (!winhttp.getProxyForUrl(winhttp.session, wideUrl.c_str(), &options, &info)) {
    const DWORD code = GetLastError();
    answer.error = ScriptErrorText(code);
    if (scriptUrl.empty() && code == ERROR_WINHTTP_AUTODETECTION_FAILED) {
      LockGuard guard(winhttp.lock);
      winhttp.detectionFailed = answer.error;
    }
    return answer;
  }
  answer.ok = true;
  const std::string list = Take(info.lpszProxy);
  Take(info.lpszProxyBypass);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) answer.list = list;
  return answer;
}

}  // namespace

ProxyRoutes RoutesForUrl(const std::string& url) {
  WinHttp& winhttp = Library();
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (!winhttp.getIEConfig || !winhttp.getIEConfig(&config)) {
    ProxyRoutes r;
    r.routes.push_back(ProxyRoute());
    r.note = winhttp.getIEConfig ? "Internet Options cannot be read (error " + std::to_string(GetLastError()) + ")"
                                 : winhttp.error;
    return r;
  }
  InternetOptions options;
  options.autoDetect = config.fAutoDetect != FALSE;
  options.autoConfigUrl = Take(config.lpszAutoConfigUrl);
  options.proxy = Take(config.lpszProxy);
  options.bypass = Take(config.lpszProxyBypass);
  return RoutesFromInternetOptions(options, url, EvaluateScript);
}

}  // namespace platform
