// Windows implementation of the platform services.
#include "platform/Platform.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
#undef ShellExecute  // our platform::ShellExecute, not the header's name for ShellExecuteW

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
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (create == FileCreate::CreateNew) {
    // Never through a link, and removable by the interrupt handler while it is open.
    disp = CREATE_NEW;
    flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    sh |= FILE_SHARE_DELETE;
  }
  HANDLE h = CreateFileW(FilePathToWide(path).c_str(), acc, sh, nullptr, disp, flags, nullptr);
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

bool RemoveEmptyDirectory(const TPath& path) { return RemoveDirectoryW(FilePathToWide(path).c_str()) != 0; }

int LastFileError() { return static_cast<int>(GetLastError()); }

// ---- folders held open ---------------------------------------------------------------------
// Windows has no calls relative to a folder handle in its documented API. Each folder of the
// walk is opened by its full path with FILE_FLAG_OPEN_REPARSE_POINT (a link is opened as
// itself, and refused) and held without FILE_SHARE_DELETE, so that no folder of the path can be
// renamed, removed or replaced by a link while files are made below it.

namespace {
HANDLE OpenFolderHandle(const std::wstring& path, bool followLink) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

std::wstring Join(const std::wstring& folder, const std::string& name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += PathToWide(TPath::FromNative(name));
  // A short folder's path with a long name after it: the long form, as for any long path.
  return path.compare(0, 4, L"\\\\?\\") == 0 ? path : FilePathToWide(PathFromWide(path));
}
}  // namespace

struct Folder::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
  int error = 0;
  TPath path;
  std::wstring wide;
};

Folder::Folder(const TPath& path) : impl_(new Impl) {
  impl_->path = path;
  impl_->wide = FilePathToWide(path);
  if (path.Empty()) return;
  impl_->handle = OpenFolderHandle(impl_->wide, true);
  BY_HANDLE_FILE_INFORMATION info;
  if (impl_->handle == INVALID_HANDLE_VALUE) {
    impl_->error = static_cast<int>(GetLastError());
  } else if (!GetFileInformationByHandle(impl_->handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(impl_->handle);
    impl_->handle = INVALID_HANDLE_VALUE;
    impl_->error = ERROR_DIRECTORY;
  }
}

Folder::~Folder() {
  if (impl_->handle != INVALID_HANDLE_VALUE) CloseHandle(impl_->handle);
  delete impl_;
}

bool Folder::IsOpen() const { return impl_->handle != INVALID_HANDLE_VALUE; }
int Folder::Error() const { return impl_->error; }
const TPath& Folder::Path() const { return impl_->path; }

std::unique_ptr<Folder> Folder::Sub(const std::string& name, int& error) const {
  const std::wstring wide = Join(impl_->wide, name);
  HANDLE h = OpenFolderHandle(wide, false);
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return nullptr;
  }
  if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(h);
    error = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY;
    return nullptr;
  }
  std::unique_ptr<Folder> sub(new Folder(TPath()));
  sub->impl_->handle = h;
  sub->impl_->wide = wide;
  const std::string& parent = impl_->path.Native();
  sub->impl_->path = TPath::FromNative(parent + (!parent.empty() && parent.back() == '\\' ? "" : "\\") + name);
  error = 0;
  return sub;
}

PathKind Folder::Kind(const std::string& name) const {
  const DWORD a = GetFileAttributesW(Join(impl_->wide, name).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::None;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  return (a & FILE_ATTRIBUTE_DEVICE) ? PathKind::Other : PathKind::File;
}

FileHandle Folder::CreateNew(const std::string& name, int& error) const {
  HANDLE h = CreateFileW(Join(impl_->wide, name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  error = h == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0;
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool Folder::RemoveUnused(const std::string& name, std::int64_t seconds) const {
  const std::wstring path = Join(impl_->wide, name);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  };
  if ((ticks(now) - ticks(data.ftLastWriteTime)) / 10000000 <= seconds) return false;
  // Shared with no one: refused while any other handle has the file open.
  HANDLE h = CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool Folder::Rename(const std::string& from, const std::string& to, int& error) const {
  // A rename replaces a link at `to` itself; it never writes through it.
  const bool done =
      MoveFileExW(Join(impl_->wide, from).c_str(), Join(impl_->wide, to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  error = done ? 0 : static_cast<int>(GetLastError());
  return done;
}

bool Folder::Remove(const std::string& name) const { return DeleteFileW(Join(impl_->wide, name).c_str()) != 0; }

bool Folder::IsSameFile(const std::string& name, const TPath& path) const {
  auto identity = [](HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    const bool ok = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
  };
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  BY_HANDLE_FILE_INFORMATION here, there;
  return identity(CreateFileW(Join(impl_->wide, name).c_str(), 0, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
                  here) &&
         identity(CreateFileW(FilePathToWide(path).c_str(), 0, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                  there) &&
         here.dwVolumeSerialNumber == there.dwVolumeSerialNumber && here.nFileIndexHigh == there.nFileIndexHigh &&
         here.nFileIndexLow == there.nFileIndexLow;
}

// ---- temporaries removed on an interrupt --------------------------------------------------
// The console's control handler runs on a thread of its own while the program goes on; the
// temporaries are created with FILE_SHARE_DELETE, so that they can be removed while open (the
// name goes at once, the file when the process ends).

namespace {
constexpr int kTemporarySlots = 1024;  // entries of one extraction, each with its temporary
CRITICAL_SECTION g_temporariesLock;
std::wstring* g_temporaries[kTemporarySlots];
bool g_temporariesReady = [] {
  InitializeCriticalSection(&g_temporariesLock);
  return true;
}();

BOOL WINAPI RemoveTemporariesOnControl(DWORD) {
  EnterCriticalSection(&g_temporariesLock);
  for (auto* path : g_temporaries)
    if (path) DeleteFileW(path->c_str());
  // Then the folders, deepest first whatever their order: each pass removes those left empty.
  for (bool removed = true; removed;) {
    removed = false;
    for (auto* path : g_temporaries)
      if (path) removed = RemoveDirectoryW(path->c_str()) || removed;
  }
  LeaveCriticalSection(&g_temporariesLock);
  return FALSE;  // the next handler (the default one) ends the process
}
}  // namespace

int RegisterTemporary(const TPath& path) {
  auto* wide = new std::wstring(FilePathToWide(path));
  EnterCriticalSection(&g_temporariesLock);
  int slot = -1;
  for (int i = 0; i < kTemporarySlots && slot < 0; ++i)
    if (!g_temporaries[i]) {
      g_temporaries[i] = wide;
      slot = i;
    }
  LeaveCriticalSection(&g_temporariesLock);
  if (slot < 0) delete wide;
  return slot;
}

void UnregisterTemporary(int slot) {
  if (slot < 0 || slot >= kTemporarySlots) return;
  EnterCriticalSection(&g_temporariesLock);
  std::wstring* wide = g_temporaries[slot];
  g_temporaries[slot] = nullptr;
  LeaveCriticalSection(&g_temporariesLock);
  delete wide;
}

void InstallInterruptCleanup() { SetConsoleCtrlHandler(RemoveTemporariesOnControl, TRUE); }

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
// The arguments after the program's own name, split once: a tool given a thousand arguments
// asks for each of them.
// Backslashes are literal except before a quote, as the C runtime and CommandLineToArgvW
// read them: 2n of them and a quote give n and the quote groups; 2n+1 give n and a quote that
// is part of the argument.
std::vector<std::wstring> SplitCommandLine() {
  const wchar_t* p = GetCommandLineW();
  int i = 0;
  std::vector<std::wstring> args;
  for (;;) {
    while (*p && *p <= L' ') ++p;
    if (!*p) break;
    std::wstring arg;
    bool quoted = false;
    while (*p && (quoted || *p > L' ')) {
      std::size_t slashes = 0;
      while (p[slashes] == L'\\') ++slashes;
      if (p[slashes] == L'"') {
        arg.append(slashes / 2, L'\\');
        if (slashes % 2)
          arg += L'"';
        else
          quoted = !quoted;
        p += slashes + 1;
      } else if (slashes) {
        arg.append(slashes, L'\\');
        p += slashes;
      } else {
        arg += *p++;
      }
    }
    if (i++ > 0) args.push_back(arg);
  }
  return args;
}

const std::vector<std::wstring>& Args() {
  static const std::vector<std::wstring> args = SplitCommandLine();
  return args;
}
}  // namespace

TPath ParamStr(int i) {
  if (i == 0) return ModuleFileName();
  const auto& args = Args();
  return i > 0 && static_cast<size_t>(i) <= args.size() ? PathFromWide(args[static_cast<size_t>(i) - 1]) : TPath();
}

int ParamCount() { return static_cast<int>(Args().size()); }

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

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

std::intptr_t ShellExecuteProcess(std::intptr_t owner, const std::string& operation, const TPath& file,
                                  const TPath& parameters, int show, std::intptr_t& process) {
  process = 0;
  using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
  static const ShellExecuteExFn shellExecuteEx = [] {
    HMODULE shell = LoadLibraryA("shell32.dll");  // stays loaded, as for ShellExecute
    return shell ? reinterpret_cast<ShellExecuteExFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")))
                 : nullptr;
  }();
  if (!shellExecuteEx) return 0;
  const std::wstring verb = ToWide(operation, kUtf8CodePage), target = PathToWide(file), args = PathToWide(parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = reinterpret_cast<HWND>(owner);
  info.lpVerb = verb.c_str();
  info.lpFile = target.c_str();
  info.lpParameters = args.c_str();
  info.nShow = show;
  if (!shellExecuteEx(&info)) {
    // The shell sets its SE_ERR_ code, as ShellExecute returns it, on a failure.
    const std::intptr_t code = reinterpret_cast<std::intptr_t>(info.hInstApp);
    return code > 32 ? 0 : code;
  }
  process = reinterpret_cast<std::intptr_t>(info.hProcess);
  return 42;  // started: above 32, as ShellExecute reports it
}

bool WaitShellProcess(std::intptr_t process, std::uint32_t ms, std::uint32_t& exitCode) {
  HANDLE h = reinterpret_cast<HANDLE>(process);
  if (WaitForSingleObject(h, ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  exitCode = GetExitCodeProcess(h, &code) ? code : 0;
  return true;
}

void CloseShellProcess(std::intptr_t process) {
  if (process) CloseHandle(reinterpret_cast<HANDLE>(process));
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
