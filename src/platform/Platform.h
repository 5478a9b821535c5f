#pragma once
// Operating-system services behind one interface; implemented in platform/win32 and
// platform/posix. Nothing above this layer includes a system header.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"

/// Declares a function's printf-like format (argument `at`, values from `first`) in the
/// dialect the C library's formatting functions speak: on Windows the C99 one that mingw-w64's
/// C++ library selects (%zu, %lld), not the system DLL's.
#if defined(__MINGW_PRINTF_FORMAT)
#define SETUPTQ_PRINTF_FORMAT(at, first) __attribute__((format(__MINGW_PRINTF_FORMAT, at, first)))
#else
#define SETUPTQ_PRINTF_FORMAT(at, first) __attribute__((format(printf, at, first)))
#endif

namespace platform {

// ---- paths --------------------------------------------------------------------------
// Paths are TPath (platform/Text.h): UTF-8 on Windows, converted here to and from the system's
// wide calls (with the "\\?\" form past the classic length limit), so that any name and any
// length the file system allows is kept whatever the system's code page; on Linux the file
// system's bytes. Texts of the program meet paths only through the conversions of Text.h.

// ---- files -----------------------------------------------------------------------
enum class FileAccess { Read, ReadWrite };
// Share mode requested from other openers: None denies everything, Read lets others read
// but not write (a writer already holding the file makes the open fail), ReadWrite shares all.
enum class FileShare { None, Read, ReadWrite };
// CreateNew: a file that must not exist yet, never created through a link; only this process
// writes it, and on Windows others may delete it (the removal of temporaries on an interrupt).
enum class FileCreate { OpenExisting, CreateAlways, CreateNew };

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

/// Opens or creates a file; on failure returns kInvalidFile and sets `error` to the system code.
FileHandle FileOpen(const TPath& path, FileAccess access, FileShare share, FileCreate create, int& error);
/// Bytes read or written (0 at end of file), -1 on error.
int FileRead(FileHandle h, void* buffer, int count);
int FileWrite(FileHandle h, const void* buffer, int count);
/// origin: 0 from the beginning, 1 from the current position, 2 from the end. New position, or -1.
std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin);
void FileClose(FileHandle h);
bool DirectoryExists(const TPath& path);
/// Creates one directory, whose parent exists; false when it could not be made (also when it
/// was there already). ForceDirectories (base/SysUtils.h) makes the missing parents.
bool MakeDirectory(const TPath& path);
/// Removes a file (not a folder); false when it could not be removed.
bool RemoveFile(const TPath& path);
/// Removes a directory that is empty; false when it could not.
bool RemoveEmptyDirectory(const TPath& path);
/// The system's code of the last failed file call of this thread (errno, GetLastError).
int LastFileError();
/// Renames a file, replacing a file of the new name; false when it could not be renamed.
bool RenameFile(const TPath& from, const TPath& to);
/// What is at a path, the last component not followed: nothing, a file, a folder, a link (a
/// symbolic link, or a reparse point on Windows) or something else (a device, a pipe).
enum class PathKind { None, File, Directory, Link, Other };
PathKind KindOfPath(const TPath& path);
/// Whether two paths name the same existing file (through links, other names, case).
bool SameFile(const TPath& a, const TPath& b);
/// The system's own text for an error code (no trailing line end), in the system's language
/// and in full: joined into a message, it shows every character on any Windows.
TDisplayText SystemErrorText(int code);
/// Expands a relative path to a full one (the form error messages name).
TPath ExpandFileName(const TPath& path);
/// The native path separator: '\\' on Windows, '/' on Linux.
char PathDelim();

// ---- what the run's log needs ----------------------------------------------------------
/// The user's folder for temporary files (%TEMP% on Windows; $TMPDIR, else /tmp, on Linux),
/// ending in a delimiter; empty when the system gives none.
TPath TempFolder();
/// The names (in the platform's form) of the files, not folders, directly in `folder`; none
/// when it cannot be read.
std::vector<std::string> FileNamesIn(const TPath& folder);
/// `value` in upper-case hexadecimal after "0x", with at least `digits` digits ("0x800B0109"):
/// the form a system's status code is quoted in. Without printf, whose runtime the launcher
/// does not carry.
inline std::string HexCode(std::uint32_t value, int digits = 1) {
  std::string out;
  for (; value != 0 || static_cast<int>(out.size()) < digits; value >>= 4)
    out.insert(out.begin(), "0123456789ABCDEF"[value & 15]);
  return "0x" + out;
}

/// The system and its version for a report: "Windows 10.0.19045", with the Wine version
/// under Wine and "64-bit" for a 32-bit program on a 64-bit system; Linux: the kernel's.
std::string SystemVersionText();
/// Dots per inch of the screen as this process sees it (96 on Linux).
int ScreenDpi();
/// The main module's file version from its version record ("3.6.8.12"); empty without one.
std::string ModuleVersion();

// ---- folders held open -----------------------------------------------------------------
/// A folder held open while files are made in it. Its subfolders are opened one component at
/// a time without following a link, and an open folder stays the folder it was checked to be
/// (Linux: a descriptor, and every call relative to it; Windows: a handle that denies renaming
/// and deleting it), whatever is renamed or linked in its path afterwards. Names given to its
/// calls are one component each, in the platform's form.
class Folder {
 public:
  /// Opens the folder at `path`; a link in `path` itself is followed (the caller named it).
  /// IsOpen() and Error() tell whether it could be opened.
  explicit Folder(const TPath& path);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  bool IsOpen() const;
  int Error() const;
  /// The path it was opened by, joined with its parents' (for messages).
  const TPath& Path() const;
  /// The existing subfolder `name`, never through a link (a link, or anything but a folder,
  /// gives an error). Null with `error` set on failure.
  std::unique_ptr<Folder> Sub(const std::string& name, int& error) const;
  /// What `name` is in this folder, a link not followed.
  PathKind Kind(const std::string& name) const;
  /// Creates the file `name` (FileCreate::CreateNew) for reading and writing, held so that
  /// RemoveUnused sees it is open while its handle is (Linux: a lock on it).
  FileHandle CreateNew(const std::string& name, int& error) const;
  /// Removes the plain file `name` (never through a link) when it was last written more than
  /// `seconds` ago and nothing holds it open: a file CreateNew made for a process that has
  /// ended. False when it was left.
  bool RemoveUnused(const std::string& name, std::int64_t seconds) const;
  /// Renames `from` onto `to` in this folder in one step; a file `to` is replaced, and so is a
  /// link, which is never followed.
  bool Rename(const std::string& from, const std::string& to, int& error) const;
  /// Removes the file (or link) `name`; false when it could not.
  bool Remove(const std::string& name) const;
  /// Whether `name` here (a link not followed) is the file at `path`.
  bool IsSameFile(const std::string& name, const TPath& path) const;

 private:
  struct Impl;
  Impl* impl_;
};

// ---- temporaries ----------------------------------------------------------------------
/// Files, and folders made for them, that must not outlive an interrupted run. A registered
/// path is removed by the handler
/// InstallInterruptCleanup installs (Ctrl+C, Ctrl+Break and closing the console on Windows;
/// SIGINT, SIGTERM and SIGHUP on Linux) before the process ends as the interrupt would end it:
/// the files first, then each registered folder that is left empty.
/// Register returns a slot for Unregister; -1 when all slots are taken.
int RegisterTemporary(const TPath& path);
void UnregisterTemporary(int slot);
void InstallInterruptCleanup();

// ---- the running program -------------------------------------------------------------
/// Full path of the main module's file (the file the process was started from).
TPath ModuleFileName();
/// Command-line argument i as the runtime splits it (blanks and control characters separate,
/// quotes group and are removed, a backslash escapes a quote as CommandLineToArgvW reads it),
/// in the form of a path (from the wide command line on Windows); 0 is the program. Empty when
/// there is no such argument.
TPath ParamStr(int i);
/// The number of command-line arguments after the program's own name.
int ParamCount();
/// Standard output without line-end translation (Windows opens it in text mode).
void SetStdoutBinary();
/// Whether standard error is a terminal (where a progress line that rewrites itself belongs).
bool StderrIsTerminal();
bool StdoutIsTerminal();
/// Writes text in the platform's form (TDisplayText's MessageNative) to standard output (1) or
/// standard error (2): to a console through its wide calls on Windows, so that every
/// character shows whatever the console's code page; to a file or a pipe as UTF-8 bytes
/// (Linux: the bytes as they are).
void WriteStd(int stream, const std::string& native);
/// The module resource `name` of type `type` (both matched without regard to case) where it
/// lies: in the program's mapped image on Windows, valid for the whole run and never copied (a
/// payload may be most of the address space). False when there is none.
bool FindModuleResourceView(const std::string& name, const std::string& type, const char*& data, std::size_t& size);
/// The same resource as a copy of its bytes.
inline bool FindModuleResource(const std::string& name, const std::string& type, std::string& bytes) {
  const char* data = nullptr;
  std::size_t size = 0;
  if (!FindModuleResourceView(name, type, data, size)) return false;
  bytes.assign(data, size);
  return true;
}
/// Linux build only: makes bytes available as a module resource (the tests' stand-in for
/// the resource section). A no-op on Windows.
void RegisterModuleResource(const std::string& name, const std::string& type, const std::string& bytes);
/// Restricts the DLL search to the system folder where the system supports it; first thing
/// at start-up so that no DLL planted beside the program is loaded.
void HardenDllSearch();

// ---- processes ----------------------------------------------------------------------
struct ProcessEntry {
  std::uint32_t processId = 0;
  TPath exeFile;  // as the snapshot reports it (a file name, or a full path)
};
/// A snapshot of all running processes (Tool Help on Windows, resolved at run time;
/// /proc on Linux). An unavailable snapshot reports no entries.
class ProcessSnapshot {
 public:
  ProcessSnapshot();
  ~ProcessSnapshot();
  ProcessSnapshot(const ProcessSnapshot&) = delete;
  ProcessSnapshot& operator=(const ProcessSnapshot&) = delete;
  bool First(ProcessEntry& entry);
  bool Next(ProcessEntry& entry);

 private:
  struct Impl;
  Impl* impl_;
};
/// Opens the process with the terminate right and terminates it with exit code 0.
/// Nonzero on success, 0 when it cannot be opened or terminated.
int TerminateProcessById(std::uint32_t processId);
std::uint32_t CurrentProcessId();
/// Starts the program at `path` with the argument text `args` (split as the runtime splits a
/// command line); its process id, or 0 when it could not be started.
std::uint32_t StartProcess(const TPath& path, const TPath& args);
/// Waits up to `ms` milliseconds for the process to end; true when it has ended (on Linux
/// the child is reaped).
bool WaitProcessExit(std::uint32_t processId, std::uint32_t ms);

// ---- shell --------------------------------------------------------------------------
constexpr int kShowNormal = 1;
constexpr int kShow = 5;
/// The shell's ShellExecute(owner, operation, file, parameters, no directory, show). `file`
/// is a path, or a web address made one with PathFromText. The result as the shell gives it
/// (above 32 on success). `owner` is a window handle or 0.
std::intptr_t ShellExecute(std::intptr_t owner, const std::string& operation, const TPath& file,
                           const TPath& parameters, int show);

/// The same, keeping the process the shell started (ShellExecuteEx), so that its end can be
/// waited for, and with no error box of the shell's own. `process` is 0 when the shell started
/// none (a document handed to a program already running). Linux: recorded as ShellExecute is,
/// with no process.
std::intptr_t ShellExecuteProcess(std::intptr_t owner, const std::string& operation, const TPath& file,
                                  const TPath& parameters, int show, std::intptr_t& process);
/// Waits up to `ms` milliseconds for a process ShellExecuteProcess gave; true when it has
/// ended, with its exit code in `exitCode`.
bool WaitShellProcess(std::intptr_t process, std::uint32_t ms, std::uint32_t& exitCode);
void CloseShellProcess(std::intptr_t process);

// ---- clock and calendar ------------------------------------------------------------
std::uint32_t TickCount();
/// The high-resolution counter; false where the platform has none.
bool PerformanceCounter(std::int64_t& value);
void SleepMs(std::uint32_t ms);
struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalDateTime LocalNow();
/// Minutes to add to local time to get UTC (Windows' time-zone bias, daylight saving included);
/// none when the system's time-zone information cannot be obtained.
std::optional<int> LocalBiasMinutes();
/// The user's decimal separator from the regional settings.
char DecimalSeparator();

// ---- texts --------------------------------------------------------------------------
/// The code page of the program's own texts: every text written in the program is code page
/// 936 bytes, whatever the system's code page; the windows show them converted from it.
constexpr unsigned kProgramCodePage = 936;
/// The system's ANSI code page (Linux: the program's own, 936).
unsigned AnsiCodePage();
/// True when `byte` begins a double-byte character in `codePage`: the system's own lead
/// bytes on Windows (932, 936, 949 and 950 have them, 1252 has none); Linux knows those of
/// 932, 936, 949 and 950.
bool IsLeadByte(unsigned codePage, unsigned char byte);

// ---- threads and locks ------------------------------------------------------------
/// A second thread running one routine. Start it once; then Join waits for its end, or
/// Detach lets it run on and free itself when the routine returns. The destructor joins a
/// thread that was started and neither joined nor detached.
class Thread {
 public:
  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  /// False when the system gives no thread (the routine then never runs).
  bool Start(std::function<void()> routine);
  void Join();
  void Detach();

 private:
  std::uintptr_t handle_ = 0;
  bool running_ = false;  // started, and neither joined nor detached
};

/// A lock that one thread holds exclusively, or several threads hold shared (readers).
/// Not recursive.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Acquire();
  void Release();
  void AcquireShared();
  void ReleaseShared();

 private:
  struct Impl;
  Impl* impl_;
};

/// Holds a lock exclusively for a scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

/// Holds a lock shared for a scope.
class SharedLockGuard {
 public:
  explicit SharedLockGuard(Lock& lock) : lock_(lock) { lock_.AcquireShared(); }
  ~SharedLockGuard() { lock_.ReleaseShared(); }
  SharedLockGuard(const SharedLockGuard&) = delete;
  SharedLockGuard& operator=(const SharedLockGuard&) = delete;

 private:
  Lock& lock_;
};

/// A signal that stays set once set.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set();
  /// Waits up to ms milliseconds (0: does not wait) for the signal; true when it is set.
  bool Wait(std::uint32_t ms);

 private:
  struct Impl;
  Impl* impl_;
};

// ---- desktop ------------------------------------------------------------------------
/// Puts a text of the program on the clipboard with `owner` (a window handle) as its owner (as
/// Unicode text on Windows, so that every program reads it right); false when the
/// clipboard cannot be opened or take the text. Windows refuses the text of a clipboard that
/// was emptied without an owner, so a window of the program must be given.
bool SetClipboardText(std::intptr_t owner, const std::string& text);
std::string GetClipboardText();
/// The mouse pointer's screen position.
void CursorPos(int& x, int& y);
void SetCursorPos(int x, int y);

// ---- Linux test seam --------------------------------------------------------------------
/// Linux build: every ShellExecute call is recorded here instead of starting anything, as
/// "operation|file|parameters|show"; TakeShellLog returns the record and clears it.
/// On Windows the record stays empty.
std::string TakeShellLog();
/// Linux build: while set, LocalBiasMinutes answers none, as on a system whose time-zone
/// information cannot be read. A no-op on Windows.
void SetTimeZoneUnavailable(bool unavailable);

}  // namespace platform
