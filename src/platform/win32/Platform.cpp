// Windows implementation of the platform services.
#include "platform/Platform.h"

#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/WideText.h"

namespace platform {

FileHandle FileOpen(const TPath& path, FileAccess access, FileShare share, FileCreate create, int& error) {
  DWORD acc = access == FileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD sh = share == FileShare::None   ? 0
             : share == FileShare::Read ? FILE_SHARE_READ
                                        : FILE_SHARE_READ | FILE_SHARE_WRITE;
  DWORD disp = create == FileCreate::OpenExisting ? OPEN_EXISTING : CREATE_ALWAYS;
  HANDLE h = CreateFileW(FilePathToWide(path).c_str(), acc, sh, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool DirectoryExists(const TPath& path) {
  DWORD a = GetFileAttributesW(FilePathToWide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const TPath& path) { return CreateDirectoryW(FilePathToWide(path).c_str(), nullptr) != 0; }

bool RemoveFile(const TPath& path) { return DeleteFileW(FilePathToWide(path).c_str()) != 0; }

bool RenameFile(const TPath& from, const TPath& to) {
  return MoveFileExW(FilePathToWide(from).c_str(), FilePathToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::wstring FilePathToWide(const TPath& path) {
  std::wstring wide = PathToWide(path);
  // Short paths, and paths already in the long form, go as they are. CreateDirectory's limit
  // (MAX_PATH less room for an 8.3 name) is the smallest of the file functions'.
  if (wide.size() < MAX_PATH - 12 || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
  // The long form is taken literally and only as a full path: expand it first, which also
  // turns "/" into "\\" and drops "." and ".." components and doubled separators.
  std::wstring full(wide.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0) return wide;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);  // n counts the terminator when the buffer was too small
  }
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() > 2 && full[1] == L':') return L"\\\\?\\" + full;
  return full;
}

PathKind KindOfPath(const TPath& path) {
  const DWORD a = GetFileAttributesW(FilePathToWide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::None;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  return a & FILE_ATTRIBUTE_DEVICE ? PathKind::Other : PathKind::File;
}

namespace {
bool FileIdentity(const TPath& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileW(FilePathToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}
}  // namespace

bool SameFile(const TPath& a, const TPath& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return FileIdentity(a, ia) && FileIdentity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

TDisplayText SystemErrorText(int code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string s = n && text ? FromWide(text, static_cast<int>(n), kUtf8CodePage) : std::string();
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return TDisplayText::FromSystem(s);
}

TPath ExpandFileName(const TPath& path) {
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

TPath ModuleFileName() {
  // Long paths (up to 32767 units) are cut by a buffer too small; grow until the name fits.
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &name[0], static_cast<DWORD>(name.size()));
    if (n == 0) return TPath();
    if (n < name.size()) return PathFromWide(name.substr(0, n));
    if (name.size() >= 32768) return PathFromWide(name);
    name.resize(name.size() * 2);
  }
}

namespace {
// The runtime's argument split of the wide command line: blanks and control characters
// separate, quotes group and are removed.
// The arguments after the program's own name.
std::vector<std::wstring> Args() {
  const wchar_t* p = GetCommandLineW();
  int i = 0;
  std::vector<std::wstring> args;
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
    if (i++ > 0) args.push_back(arg);
  }
  return args;
}
}  // namespace

TPath ParamStr(int i) {
  if (i == 0) return ModuleFileName();
  const auto args = Args();
  return i > 0 && static_cast<size_t>(i) <= args.size() ? PathFromWide(args[static_cast<size_t>(i) - 1]) : TPath();
}

int ParamCount() { return static_cast<int>(Args().size()); }

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void WriteStd(int stream, const std::string& native) {
  FILE* file = stream == 2 ? stderr : stdout;
  std::fflush(file);
  HANDLE h = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode)) {
    // A console shows UTF-16 whatever its code page.
    const std::wstring wide = ToWide(native, kUtf8CodePage);
    DWORD written = 0;
    WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(native.data(), 1, native.size(), file);
  std::fflush(file);
}

bool FindModuleResource(const std::string& name, const std::string& type, std::string& bytes) {
  HRSRC r = FindResourceA(nullptr, name.c_str(), type.c_str());
  if (!r) return false;
  HGLOBAL g = LoadResource(nullptr, r);
  if (!g) return false;
  const void* p = LockResource(g);
  DWORD size = SizeofResource(nullptr, r);
  if (!p && size) return false;
  bytes.assign(static_cast<const char*>(p), size);
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

std::uint32_t StartProcess(const TPath& path, const TPath& args) {
  const std::wstring file = FilePathToWide(path);
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
std::intptr_t ShellExecute(std::intptr_t owner, const std::string& operation, const TPath& file,
                           const TPath& parameters, int show) {
  using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  static const ShellExecuteFn shellExecute = [] {
    HMODULE shell = LoadLibraryA("shell32.dll");  // stays loaded: what it started may need it
    return shell ? reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteW")))
                 : nullptr;
  }();
  if (!shellExecute) return 0;  // as the shell reports running out of resources
  // The shell takes no "\\?\" form: a file past the classic limit goes by its short name.
  std::wstring target = PathToWide(file);
  if (target.size() >= MAX_PATH && target.find(L"://") == std::wstring::npos) {
    const std::wstring longForm = FilePathToWide(file);
    std::wstring shortForm(longForm.size() + 1, L'\0');
    const DWORD n = GetShortPathNameW(longForm.c_str(), &shortForm[0], static_cast<DWORD>(shortForm.size()));
    if (n > 0 && n < shortForm.size()) {
      shortForm.resize(n);
      if (shortForm.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        shortForm = L"\\\\" + shortForm.substr(8);
      else if (shortForm.compare(0, 4, L"\\\\?\\") == 0)
        shortForm = shortForm.substr(4);
      if (shortForm.size() < MAX_PATH) target = shortForm;
    }
  }
  HINSTANCE r = shellExecute(reinterpret_cast<HWND>(owner), ToWide(operation, kUtf8CodePage).c_str(), target.c_str(),
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
