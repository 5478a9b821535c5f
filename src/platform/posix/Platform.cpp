// Linux implementation of the platform services: real files, /proc and clocks; the desktop
// services (resources, shell, clipboard, cursor) are in-process stand-ins for the tests.
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace platform {

FileHandle FileOpen(const TPath& path, FileAccess access, FileShare, FileCreate create, int& error) {
  int flags = access == FileAccess::Read ? O_RDONLY : O_RDWR;
  if (create == FileCreate::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (create == FileCreate::CreateNew) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
  int fd = ::open(path.Native().c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    return kInvalidFile;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = EISDIR;
    return kInvalidFile;
  }
  error = 0;
  return fd;
}

int FileRead(FileHandle h, void* buffer, int count) {
  if (count <= 0) return 0;
  ssize_t n;
  do n = ::read(static_cast<int>(h), buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int FileWrite(FileHandle h, const void* buffer, int count) {
  if (count <= 0) return 0;
  ssize_t n;
  do n = ::write(static_cast<int>(h), buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return ::lseek(static_cast<int>(h), offset, whence);
}

void FileClose(FileHandle h) {
  if (h != kInvalidFile) ::close(static_cast<int>(h));
}

bool DirectoryExists(const TPath& path) {
  struct stat st;
  return ::stat(path.Native().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const TPath& path) { return ::mkdir(path.Native().c_str(), 0755) == 0; }

bool RemoveEmptyDirectory(const TPath& path) { return ::rmdir(path.Native().c_str()) == 0; }

int LastFileError() { return errno; }

bool RemoveFile(const TPath& path) { return ::unlink(path.Native().c_str()) == 0; }

bool RenameFile(const TPath& from, const TPath& to) {
  return ::rename(from.Native().c_str(), to.Native().c_str()) == 0;
}

PathKind KindOfPath(const TPath& path) {
  struct stat st;
  if (::lstat(path.Native().c_str(), &st) != 0) return PathKind::None;
  if (S_ISLNK(st.st_mode)) return PathKind::Link;
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

bool SameFile(const TPath& a, const TPath& b) {
  struct stat sa, sb;
  return ::stat(a.Native().c_str(), &sa) == 0 && ::stat(b.Native().c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TDisplayText SystemErrorText(int code) { return TDisplayText::FromSystem(std::strerror(code)); }

// ---- folders held open: every call relative to the folder's descriptor ------------------

struct Folder::Impl {
  int fd = -1;
  int error = 0;
  TPath path;
};

Folder::Folder(const TPath& path) : impl_(new Impl) {
  impl_->path = path;
  impl_->fd = ::open(path.Native().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (impl_->fd < 0) impl_->error = errno;
}

Folder::~Folder() {
  if (impl_->fd >= 0) ::close(impl_->fd);
  delete impl_;
}

bool Folder::IsOpen() const { return impl_->fd >= 0; }
int Folder::Error() const { return impl_->error; }
const TPath& Folder::Path() const { return impl_->path; }

std::unique_ptr<Folder> Folder::Sub(const std::string& name, int& error) const {
  const int fd = ::openat(impl_->fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  std::unique_ptr<Folder> sub(new Folder(TPath()));
  sub->impl_->fd = fd;
  sub->impl_->error = 0;
  const std::string& parent = impl_->path.Native();
  sub->impl_->path = TPath::FromNative(parent + (!parent.empty() && parent.back() == '/' ? "" : "/") + name);
  error = 0;
  return sub;
}

PathKind Folder::Kind(const std::string& name) const {
  struct stat st;
  if (::fstatat(impl_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::None;
  if (S_ISLNK(st.st_mode)) return PathKind::Link;
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

FileHandle Folder::CreateNew(const std::string& name, int& error) const {
  const int fd = ::openat(impl_->fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  error = fd < 0 ? errno : 0;
  if (fd >= 0) ::flock(fd, LOCK_SH);  // released by the system when the last descriptor closes
  return fd < 0 ? kInvalidFile : fd;
}

bool Folder::RemoveUnused(const std::string& name, std::int64_t seconds) const {
  struct stat st;
  if (::fstatat(impl_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<std::int64_t>(::time(nullptr)) - static_cast<std::int64_t>(st.st_mtime) <= seconds) return false;
  const int fd = ::openat(impl_->fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  // A process that has the file open holds its lock; one that was killed holds nothing.
  const bool unused = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const bool removed = unused && ::unlinkat(impl_->fd, name.c_str(), 0) == 0;
  ::close(fd);
  return removed;
}

bool Folder::Rename(const std::string& from, const std::string& to, int& error) const {
  const bool done = ::renameat(impl_->fd, from.c_str(), impl_->fd, to.c_str()) == 0;
  error = done ? 0 : errno;
  return done;
}

bool Folder::Remove(const std::string& name) const { return ::unlinkat(impl_->fd, name.c_str(), 0) == 0; }

bool Folder::IsSameFile(const std::string& name, const TPath& path) const {
  struct stat here, there;
  return ::fstatat(impl_->fd, name.c_str(), &here, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::stat(path.Native().c_str(), &there) == 0 && here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

// ---- temporaries removed on an interrupt --------------------------------------------------

namespace {
// The handler reads the slots while the program may be changing them: each slot is one
// atomic pointer to a path the handler can unlink without allocating.
constexpr int kTemporarySlots = 1024;  // entries of one extraction, each with its temporary
std::atomic<char*> g_temporaries[kTemporarySlots];

void RemoveTemporariesAndEnd(int signal) {
  for (auto& slot : g_temporaries)
    if (char* path = slot.load()) ::unlink(path);
  // Then the folders, deepest first whatever their order: each pass removes those left empty.
  for (bool removed = true; removed;) {
    removed = false;
    for (auto& slot : g_temporaries)
      if (char* path = slot.load()) removed = ::rmdir(path) == 0 || removed;
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}
}  // namespace

int RegisterTemporary(const TPath& path) {
  char* copy = ::strdup(path.Native().c_str());
  for (int i = 0; i < kTemporarySlots; ++i) {
    char* none = nullptr;
    if (g_temporaries[i].compare_exchange_strong(none, copy)) return i;
  }
  std::free(copy);
  return -1;
}

void UnregisterTemporary(int slot) {
  if (slot < 0 || slot >= kTemporarySlots) return;
  std::free(g_temporaries[slot].exchange(nullptr));
}

void InstallInterruptCleanup() {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, RemoveTemporariesAndEnd);
}

TPath ExpandFileName(const TPath& path) {
  if (!path.Empty() && path.Native()[0] == '/') return path;
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return path;
  return TPath::FromNative(std::string(buf) + "/" + path.Native());
}

char PathDelim() { return '/'; }

TPath ModuleFileName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  return TPath::FromNative(n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string());
}

namespace {
// Read once: a tool given a thousand arguments asks for each of them.
const std::vector<std::string>& CommandLine() {
  static const std::vector<std::string> args = [] {
    std::ifstream f("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> read;
    std::string a;
    while (std::getline(f, a, '\0')) read.push_back(a);
    return read;
  }();
  return args;
}
}  // namespace

TPath ParamStr(int i) {
  if (i == 0) return ModuleFileName();
  const auto& args = CommandLine();
  return TPath::FromNative(i > 0 && static_cast<size_t>(i) < args.size() ? args[static_cast<size_t>(i)]
                                                                         : std::string());
}

int ParamCount() {
  const auto& args = CommandLine();
  return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}

void SetStdoutBinary() {}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void WriteStd(int stream, const std::string& native) {
  FILE* file = stream == 2 ? stderr : stdout;
  std::fwrite(native.data(), 1, native.size(), file);
  std::fflush(file);
}

namespace {
std::mutex g_mutex;
std::string Upper(std::string s) {
  for (auto& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}
std::map<std::string, std::string>& Resources() {
  static std::map<std::string, std::string> r;
  return r;
}
std::string g_shellLog, g_clipboard;
int g_cursorX = 0, g_cursorY = 0;
}  // namespace

bool FindModuleResourceView(const std::string& name, const std::string& type, const char*& data, std::size_t& size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Resources().find(Upper(type) + "/" + Upper(name));
  if (it == Resources().end()) return false;
  data = it->second.data();  // stays until the resource is registered again
  size = it->second.size();
  return true;
}

void RegisterModuleResource(const std::string& name, const std::string& type, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Resources()[Upper(type) + "/" + Upper(name)] = bytes;
}

void HardenDllSearch() {}

struct ProcessSnapshot::Impl {
  DIR* dir = nullptr;
  bool Fill(ProcessEntry& e) {
    while (dirent* d = ::readdir(dir)) {
      char* end = nullptr;
      unsigned long pid = std::strtoul(d->d_name, &end, 10);
      if (!*d->d_name || *end) continue;
      std::string base = "/proc/" + std::string(d->d_name);
      char buf[4096];
      ssize_t n = ::readlink((base + "/exe").c_str(), buf, sizeof buf);
      std::string name;
      if (n > 0) {
        name.assign(buf, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (name.size() > deleted.size() && name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0)
          name.resize(name.size() - deleted.size());
        name = name.substr(name.find_last_of('/') + 1);
      } else {
        std::ifstream comm(base + "/comm");
        std::getline(comm, name);
      }
      e.processId = static_cast<std::uint32_t>(pid);
      e.exeFile = TPath::FromNative(name);
      return true;
    }
    return false;
  }
};

ProcessSnapshot::ProcessSnapshot() : impl_(new Impl) { impl_->dir = ::opendir("/proc"); }
ProcessSnapshot::~ProcessSnapshot() {
  if (impl_->dir) ::closedir(impl_->dir);
  delete impl_;
}
bool ProcessSnapshot::First(ProcessEntry& e) {
  if (!impl_->dir) return false;
  ::rewinddir(impl_->dir);
  return impl_->Fill(e);
}
bool ProcessSnapshot::Next(ProcessEntry& e) { return impl_->dir && impl_->Fill(e); }

int TerminateProcessById(std::uint32_t processId) {
  return ::kill(static_cast<pid_t>(processId), SIGKILL) == 0 ? 1 : 0;
}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t StartProcess(const TPath& path, const TPath& args) {
  std::vector<std::string> parts{path.Native()};
  std::string cur;
  bool quoted = false, any = false;
  for (char c : args.Native()) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && static_cast<unsigned char>(c) <= ' ') {
      if (any) parts.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) parts.push_back(cur);
  std::vector<char*> argv;
  for (auto& p : parts) argv.push_back(&p[0]);
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) return 0;
  if (pid == 0) {
    ::execv(path.Native().c_str(), argv.data());
    ::_exit(127);
  }
  return static_cast<std::uint32_t>(pid);
}

bool WaitProcessExit(std::uint32_t processId, std::uint32_t ms) {
  for (std::uint32_t waited = 0;; waited += 10) {
    int status = 0;
    pid_t r = ::waitpid(static_cast<pid_t>(processId), &status, WNOHANG);
    if (r == static_cast<pid_t>(processId)) return true;
    if (r < 0 && errno == ECHILD && ::kill(static_cast<pid_t>(processId), 0) != 0) return true;  // not ours
    if (waited >= ms) return false;
    SleepMs(10);
  }
}

std::intptr_t ShellExecute(std::intptr_t, const std::string& operation, const TPath& file, const TPath& parameters,
                           int show) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_shellLog += operation + "|" + file.Native() + "|" + parameters.Native() + "|" + std::to_string(show) + "\n";
  return 42;
}

std::intptr_t ShellExecuteProcess(std::intptr_t owner, const std::string& operation, const TPath& file,
                                  const TPath& parameters, int show, std::intptr_t& process) {
  process = 0;
  return ShellExecute(owner, operation, file, parameters, show);
}

bool WaitShellProcess(std::intptr_t, std::uint32_t, std::uint32_t& exitCode) {
  exitCode = 0;
  return true;
}

void CloseShellProcess(std::intptr_t) {}

std::string TakeShellLog() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string s;
  s.swap(g_shellLog);
  return s;
}

std::uint32_t TickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(ts.tv_sec * 1000u + ts.tv_nsec / 1000000);
}

bool PerformanceCounter(std::int64_t& value) {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  value = static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return true;
}

void SleepMs(std::uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

LocalDateTime LocalNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t;
  localtime_r(&ts.tv_sec, &t);
  return {
      t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ts.tv_nsec / 1000000)};
}

namespace {
std::atomic<bool> g_timeZoneUnavailable{false};
}  // namespace

std::optional<int> LocalBiasMinutes() {
  time_t now = time(nullptr);
  tm t;
  if (g_timeZoneUnavailable || !localtime_r(&now, &t)) return std::nullopt;
  return static_cast<int>(-t.tm_gmtoff / 60);
}

void SetTimeZoneUnavailable(bool unavailable) { g_timeZoneUnavailable = unavailable; }

unsigned AnsiCodePage() { return kProgramCodePage; }

bool IsLeadByte(unsigned codePage, unsigned char byte) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
  }
}

char DecimalSeparator() {
  const lconv* lc = std::localeconv();
  return lc && lc->decimal_point && *lc->decimal_point ? *lc->decimal_point : '.';
}

bool SetClipboardText(std::intptr_t, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_clipboard = text;
  return true;
}

std::string GetClipboardText() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_clipboard;
}

void CursorPos(int& x, int& y) {
  std::lock_guard<std::mutex> lock(g_mutex);
  x = g_cursorX;
  y = g_cursorY;
}

void SetCursorPos(int x, int y) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_cursorX = x;
  g_cursorY = y;
}

}  // namespace platform
