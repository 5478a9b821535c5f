// Windows: what the run's log needs of the system: the temporary folder, the files of a
// folder, and what a report says of the system and the program.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/Platform.h"
#include "platform/WideText.h"

namespace platform {

namespace {

/// A routine of a module the program has loaded already, or null where the system has none.
template <typename Fn>
Fn LoadedRoutine(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

bool EndsWithDelimiter(const std::string& folder) {
  return !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
}

}  // namespace

TPath TempFolder() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), &buffer[0]);
  if (n > buffer.size()) {  // a longer folder: the size it needs was returned
    buffer.assign(n, L'\0');
    n = GetTempPathW(static_cast<DWORD>(buffer.size()), &buffer[0]);
  }
  if (n == 0 || n > buffer.size()) return TPath();
  std::string folder = PathFromWide(buffer.substr(0, n)).Native();
  if (!EndsWithDelimiter(folder)) folder += '\\';
  return TPath::FromNative(folder);
}

std::vector<std::string> FileNamesIn(const TPath& folder) {
  std::vector<std::string> names;
  const TPath pattern = folder + TPath::FromNative(EndsWithDelimiter(folder.Native()) ? "*" : "\\*");
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(FilePathToWide(pattern).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(PathFromWide(found.cFileName).Native());
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

std::string SystemVersionText() {
  // GetVersionEx answers what the program's manifest declares it knows; RtlGetVersion the truth.
  using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersionFn = const char*(CDECL*)();
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, BOOL*);
  std::string text = "Windows";
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (auto get = LoadedRoutine<GetVersionFn>(L"ntdll.dll", "RtlGetVersion"); get && get(&v) == 0) {
    text += " " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
            std::to_string(v.dwBuildNumber);
    if (v.szCSDVersion[0]) text += " " + PathFromWide(v.szCSDVersion).Native();
  }
  BOOL wow64 = FALSE;
  auto isWow64 = LoadedRoutine<IsWow64Fn>(L"kernel32.dll", "IsWow64Process");
  if (isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64) text += " 64-bit";
  if (auto wine = LoadedRoutine<WineVersionFn>(L"ntdll.dll", "wine_get_version"))
    text += std::string(" (Wine ") + wine() + ")";
  return text;
}

int ScreenDpi() {
  // Both resolved at run time: GetDpiForSystem is Windows 10's, and the program links no gdi32
  // of its own here (user32 has loaded it).
  using SystemDpiFn = UINT(WINAPI*)();
  using DeviceCapsFn = int(WINAPI*)(HDC, int);
  if (auto dpi = LoadedRoutine<SystemDpiFn>(L"user32.dll", "GetDpiForSystem")) return static_cast<int>(dpi());
  auto caps = LoadedRoutine<DeviceCapsFn>(L"gdi32.dll", "GetDeviceCaps");
  HDC screen = GetDC(nullptr);
  const int dpi = caps && screen ? caps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi;
}

std::string ModuleVersion() {
  HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */);
  HGLOBAL g = r ? LoadResource(nullptr, r) : nullptr;
  const auto* bytes = g ? static_cast<const unsigned char*>(LockResource(g)) : nullptr;
  const DWORD size = r ? SizeofResource(nullptr, r) : 0;
  if (!bytes) return std::string();
  // The fixed part of the record starts with its signature, on a 4-byte boundary.
  for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, bytes + at, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) continue;
    return std::to_string(HIWORD(info.dwFileVersionMS)) + "." + std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info.dwFileVersionLS)) + "." + std::to_string(LOWORD(info.dwFileVersionLS));
  }
  return std::string();
}

}  // namespace platform
