// Windows implementation of the platform services.
#include "platform/Platform.h"

#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>

#include "platform/WideText.h"

namespace platform {

FileHandle FileOpen(const std::string& path, FileAccess access, FileShare share, FileCreate create, int& error) {
  DWORD acc = access == FileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD sh = share == FileShare::None   ? 0
             : share == FileShare::Read ? FILE_SHARE_READ
                                        : FILE_SHARE_READ | FILE_SHARE_WRITE;
  DWORD disp = create == FileCreate::OpenExisting ? OPEN_EXISTING : CREATE_ALWAYS;
  HANDLE h = CreateFileW(PathToWide(path).c_str(), acc, sh, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return kInvalidFile;
  }
  error = 0;
  return reinterpret_cast<FileHandle>(h);
}

int FileRead(FileHandle h, void* buffer, int count) {
  DWORD got = 0;
  if (count <= 0) return 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(h), buffer, static_cast<DWORD>(count), &got, nullptr)) return -1;
  return static_cast<int>(got);
}

int FileWrite(FileHandle h, const void* buffer, int count) {
  DWORD put = 0;
  if (count <= 0) return 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(h), buffer, static_cast<DWORD>(count), &put, nullptr)) return -1;
  return static_cast<int>(put);
}

std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = offset;
  DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(h), dist, &pos, method)) return -1;
  return pos.QuadPart;
}

void FileClose(FileHandle h) {
  if (h != kInvalidFile) CloseHandle(reinterpret_cast<HANDLE>(h));
}

bool RemoveFile(const std::string& path) { return DeleteFileW(PathToWide(path).c_str()) != 0; }

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesW(PathToWide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryW(PathToWide(path).c_str(), nullptr) != 0; }

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string s = n && text ? FromWide(text, static_cast<int>(n), kProgramCodePage) : std::string();
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string ExpandFileName(const std::string& path) {
  const std::wstring wide = PathToWide(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0) return path;
    if (n < full.size()) return PathFromWide(full.substr(0, n));
    full.resize(n);  // n counts the terminator when the buffer was too small
  }
}

char PathDelim() { return '\\'; }

std::string ModuleFileName() {
  // Long paths (up to 32767 units) are cut by a buffer too small; grow until the name fits.
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &name[0], static_cast<DWORD>(name.size()));
    if (n == 0) return std::string();
    if (n < name.size()) return PathFromWide(name.substr(0, n));
    if (name.size() >= 32768) return PathFromWide(name);
    name.resize(name.size() * 2);
  }
}

namespace {
// The runtime's argument split of the wide command line: blanks and control characters
// separate, quotes group and are removed.
std::string ArgAt(int index) {
  const wchar_t* p = GetCommandLineW();
  int i = 0;
  std::wstring result;
  for (;;) {
    while (*p && *p <= L' ') ++p;
    if (!*p) break;
    std::wstring arg;
    bool quoted = false;
    while (*p && (quoted || *p > L' ')) {
      if (*p == L'"')
        quoted = !quoted;
      else
        arg += *p;
      ++p;
    }
    if (i == index) result = arg;
    ++i;
  }
  return PathFromWide(result);
}
}  // namespace

std::string ParamStr(int i) {
  if (i == 0) return ModuleFileName();
  return ArgAt(i);
}

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool FindModuleResourceView(const std::string& name, const std::string& type, const char*& data, std::size_t& size) {
  HRSRC r = FindResourceA(nullptr, name.c_str(), type.c_str());
  if (!r) return false;
  HGLOBAL g = LoadResource(nullptr, r);
  if (!g) return false;
  const void* p = LockResource(g);
  size = SizeofResource(nullptr, r);
  if (!p && size) return false;
  data = static_cast<const char*>(p);
  return true;
}

bool FindModuleResource(const std::string& name, const std::string& type, std::string& bytes) {
  const char* data = nullptr;
  std::size_t size = 0;
  if (!FindModuleResourceView(name, type, data, size)) return false;
  bytes.assign(data, size);
  return true;
}

void RegisterModuleResource(const std::string&, const std::string&, const std::string&) {}

void HardenDllSearch() {
  using SetDirsFn = BOOL(WINAPI*)(DWORD);
  HMODULE k = GetModuleHandleA("kernel32.dll");
  auto fn =
      k ? reinterpret_cast<SetDirsFn>(reinterpret_cast<void*>(GetProcAddress(k, "SetDefaultDllDirectories"))) : nullptr;
  if (fn) fn(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  SetDllDirectoryA("");  // drops the current folder from the search as well
}

// ---- processes: Tool Help resolved at run time from the loaded kernel32 ----------------
namespace {
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using EnumFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
struct ToolHelp {
  SnapshotFn snapshot = nullptr;
  EnumFn first = nullptr, next = nullptr;
  ToolHelp() {
    HMODULE k = GetModuleHandleA("kernel32.dll");
    if (!k) return;
    snapshot = reinterpret_cast<SnapshotFn>(reinterpret_cast<void*>(GetProcAddress(k, "CreateToolhelp32Snapshot")));
    first = reinterpret_cast<EnumFn>(reinterpret_cast<void*>(GetProcAddress(k, "Process32FirstW")));
    next = reinterpret_cast<EnumFn>(reinterpret_cast<void*>(GetProcAddress(k, "Process32NextW")));
  }
};
const ToolHelp& Tools() {
  static const ToolHelp tools;
  return tools;
}
}  // namespace

struct ProcessSnapshot::Impl {
  HANDLE snap = nullptr;
  PROCESSENTRY32W pe{};
  bool Fill(ProcessEntry& e) {
    e.processId = pe.th32ProcessID;
    e.exeFile = PathFromWide(std::wstring(pe.szExeFile, wcsnlen(pe.szExeFile, MAX_PATH)));
    return true;
  }
};

ProcessSnapshot::ProcessSnapshot() : impl_(new Impl) {
  if (Tools().snapshot) {
    HANDLE h = Tools().snapshot(TH32CS_SNAPPROCESS, 0);
    impl_->snap = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }
  impl_->pe.dwSize = sizeof(PROCESSENTRY32W);
  static_assert(sizeof(PROCESSENTRY32W) == 556, "wide process entry is 556 bytes");
}

ProcessSnapshot::~ProcessSnapshot() {
  if (impl_->snap) CloseHandle(impl_->snap);
  delete impl_;
}

bool ProcessSnapshot::First(ProcessEntry& e) {
  if (!impl_->snap || !Tools().first || !Tools().first(impl_->snap, &impl_->pe)) return false;
  return impl_->Fill(e);
}

bool ProcessSnapshot::Next(ProcessEntry& e) {
  if (!impl_->snap || !Tools().next || !Tools().next(impl_->snap, &impl_->pe)) return false;
  return impl_->Fill(e);
}

int TerminateProcessById(std::uint32_t processId) {
  HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
  if (!h) return 0;
  int r = TerminateProcess(h, 0) ? 1 : 0;
  CloseHandle(h);
  return r;
}

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::uint32_t StartProcess(const std::string& path, const std::string& args) {
  const std::wstring file = PathToWide(path);
  std::wstring cmd = L"\"" + file + L"\" " + PathToWide(args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(file.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return pi.dwProcessId;
}

bool WaitProcessExit(std::uint32_t processId, std::uint32_t ms) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!h) return true;  // gone already
  bool ended = WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

// The shell is loaded when it is first asked for (a page to open, the installer to start),
// not with the program: loading it and the libraries it brings delays the first window.
std::intptr_t ShellExecute(std::intptr_t owner, const std::string& operation, const std::string& file,
                           const std::string& parameters, int show) {
  using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  static const ShellExecuteFn shellExecute = [] {
    HMODULE shell = LoadLibraryA("shell32.dll");  // stays loaded: what it started may need it
    return shell ? reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteW")))
                 : nullptr;
  }();
  if (!shellExecute) return 0;  // as the shell reports running out of resources
  HINSTANCE r = shellExecute(reinterpret_cast<HWND>(owner), PathToWide(operation).c_str(), PathToWide(file).c_str(),
                             PathToWide(parameters).c_str(), nullptr, show);
  return reinterpret_cast<std::intptr_t>(r);
}

std::uint32_t TickCount() { return GetTickCount(); }

bool PerformanceCounter(std::int64_t& value) {
  LARGE_INTEGER c;
  if (!QueryPerformanceCounter(&c)) return false;
  value = c.QuadPart;
  return true;
}

void SleepMs(std::uint32_t ms) { Sleep(ms); }

LocalDateTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::optional<int> LocalBiasMinutes() {
  TIME_ZONE_INFORMATION tz;
  switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_UNKNOWN:  // a zone without daylight saving rules
      return static_cast<int>(tz.Bias);
    case TIME_ZONE_ID_STANDARD: return static_cast<int>(tz.Bias + tz.StandardBias);
    case TIME_ZONE_ID_DAYLIGHT: return static_cast<int>(tz.Bias + tz.DaylightBias);
    default:  // TIME_ZONE_ID_INVALID: tz holds nothing
      return std::nullopt;
  }
}

char DecimalSeparator() {
  char buf[8] = {0};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, sizeof buf) > 0 && buf[0]) return buf[0];
  return '.';
}

bool SetClipboardText(std::intptr_t owner, const std::string& text) {
  const std::wstring wide = TextToWide(text);
  if (!OpenClipboard(reinterpret_cast<HWND>(owner))) return false;
  EmptyClipboard();
  bool ok = false;
  const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(g)) {
      memcpy(p, wide.c_str(), bytes);
      GlobalUnlock(g);
      ok = SetClipboardData(CF_UNICODETEXT, g) != nullptr;
    }
    if (!ok) GlobalFree(g);  // the clipboard owns it only once it took it
  }
  CloseClipboard();
  return ok;
}

std::string GetClipboardText() {
  std::string s;
  if (!OpenClipboard(nullptr)) return s;
  if (HANDLE g = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(g))) {
      s = FromWide(p, -1, kProgramCodePage);
      GlobalUnlock(g);
    }
  }
  CloseClipboard();
  return s;
}

void CursorPos(int& x, int& y) {
  POINT p{0, 0};
  GetCursorPos(&p);
  x = p.x;
  y = p.y;
}

}  // namespace platform

namespace platform {
void SetCursorPos(int x, int y) { ::SetCursorPos(x, y); }
std::string TakeShellLog() { return std::string(); }
void SetTimeZoneUnavailable(bool) {}
}  // namespace platform
