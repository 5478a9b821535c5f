#include "base/RunLog.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "base/SysUtils.h"
#include "platform/Platform.h"

namespace {

const char kNamePrefix[] = "setupTQ-";
const char kNameSuffix[] = ".log";
const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kCutNote[] = "the log ends here: it reached its limit of 1 MiB";

struct TRunLogState {
  platform::Lock lock;
  platform::FileHandle file = platform::kInvalidFile;
  TPath path;
  std::uint32_t startTick = 0;
  std::int64_t written = 0;
  bool full = false;
};

TRunLogState& State() {
  static TRunLogState state;
  return state;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// A log of this program's runs, named as OpenRunLog names them; nothing else in the folder is
/// ever deleted.
bool IsRunLogName(std::string_view name) {
  const std::size_t prefix = sizeof kNamePrefix - 1, suffix = sizeof kNameSuffix - 1;
  if (name.size() <= prefix + 16 + suffix || name.substr(0, prefix) != kNamePrefix ||
      name.substr(name.size() - suffix) != kNameSuffix)
    return false;
  const std::string_view stamp = name.substr(prefix, name.size() - prefix - suffix);  // YYYYMMDD-HHMMSS-PID
  return AllDigits(stamp.substr(0, 8)) && stamp[8] == '-' && AllDigits(stamp.substr(9, 6)) && stamp[15] == '-' &&
         AllDigits(stamp.substr(16));
}

/// `digits` hexadecimal digits of value, upper case.
std::string Hex(char32_t value, int digits) {
  std::string out(static_cast<std::size_t>(digits), '0');
  for (int k = digits - 1; k >= 0; --k, value >>= 4) out[static_cast<std::size_t>(k)] = "0123456789ABCDEF"[value & 0xF];
  return out;
}

/// The text as one line of well-formed UTF-8 (see LogLine). Every text reaches the log
/// through here, whether it was the program's (code page 936) or the system's (wide).
std::string OneLine(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      out += " | ";
      while (i < text.size() && (text[i] == '\r' || text[i] == '\n')) ++i;
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
    } else if (char32_t point = 0; const std::size_t n = c >= 0x80 ? Utf8CharAt(text, i, point) : 0) {
      if (MovesTheLine(point))
        out += "\\u" + Hex(point, 4);
      else
        out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\\x" + Hex(c, 2);
      ++i;
    }
  }
  return out;
}

/// Writes bytes to the open log, within its limit. The caller holds the lock.
void Write(TRunLogState& log, const std::string& bytes) {
  if (log.file == platform::kInvalidFile) return;
  if (platform::FileWrite(log.file, bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size())) {
    // The one place a failure of the log is dropped: the log never changes the run, so a full
    // disk or a lost folder only ends the log, and the run goes on as it would without it.
    platform::FileClose(log.file);
    log.file = platform::kInvalidFile;
    return;
  }
  log.written += static_cast<std::int64_t>(bytes.size());
}

std::string Stamped(const TRunLogState& log, std::string_view line) {
  // The milliseconds right-aligned in seven places, so that the lines of a run line up.
  std::string ms = std::to_string(static_cast<unsigned>(platform::TickCount() - log.startTick));
  if (ms.size() < 7) ms.insert(0, 7 - ms.size(), ' ');
  return ms + " ms  " + std::string(line) + "\r\n";
}

void WriteLine(TRunLogState& log, std::string_view utf8) {
  if (log.full) return;
  std::string line = Stamped(log, OneLine(utf8));
  // Room is kept for the note that the log ends (and its time, however long), so that the
  // file never passes its limit.
  const std::int64_t room = kRunLogMaxBytes - log.written - static_cast<std::int64_t>(sizeof kCutNote + 32);
  if (static_cast<std::int64_t>(line.size()) > room) {
    log.full = true;
    line = Stamped(log, kCutNote);
  }
  Write(log, line);
}

std::string TwoDigits(int n) { return IntToStrZeroPadded(n, 2); }

/// "2019-01-10 10:15:00" with the separators "-", " " and ":"; "20190110-101500" with "", "-"
/// and "" (the log's name).
std::string DateTimeText(const platform::LocalDateTime& t, const char* dateSep, const char* between,
                         const char* timeSep) {
  const std::pair<const char*, int> parts[] = {
      {dateSep, t.month}, {dateSep, t.day}, {between, t.hour}, {timeSep, t.minute}, {timeSep, t.second}};
  std::string text = IntToStrZeroPadded(t.year, 4);
  for (const auto& [sep, n] : parts) text.append(sep).append(TwoDigits(n));
  return text;
}

/// "UTC+08:00" for the local time zone; empty when the system does not say.
std::string ZoneText() {
  const std::optional<int> bias = platform::LocalBiasMinutes();
  if (!bias) return std::string();
  const int east = -*bias;
  return std::string("UTC") + (east < 0 ? "-" : "+") + TwoDigits(std::abs(east) / 60) + ":" +
         TwoDigits(std::abs(east) % 60);
}

/// Deletes the logs of earlier runs beyond the newest kRunLogsKept, this run's counted.
void RemoveOldLogs(const TPath& folder, const std::string& own) {
  std::vector<std::string> logs;
  for (std::string& name : platform::FileNamesIn(folder))
    if (name != own && IsRunLogName(name)) logs.push_back(std::move(name));
  // The names begin with the time of their run: the newest sort last.
  std::sort(logs.begin(), logs.end(), std::greater<>());
  // A log that cannot go (another run still writes it) stays until a later run.
  for (std::size_t i = kRunLogsKept - 1; i < logs.size(); ++i)
    platform::RemoveFile(folder + TPath::FromNative(logs[i]));
}

/// Opens the log at `path` (replacing a file there) and writes what a report starts with;
/// false, with the system's code in `error`, when it cannot. The caller holds the lock.
bool StartLog(TRunLogState& log, const TPath& path, int& error);

}  // namespace

void OpenRunLog(const TPath& folderGiven) {
  TRunLogState& log = State();
  platform::LockGuard hold(log.lock);
  if (!log.path.Empty()) return;
  TPath folder = folderGiven.Empty() ? platform::TempFolder() : folderGiven;
  if (folder.Empty()) return;
  if (LastDelimiter(PathDelimiters(), folder.Native()) != folder.Native().size() - 1)
    folder = folder + platform::PathDelim();

  const platform::LocalDateTime now = platform::LocalNow();
  const std::string pid = std::to_string(platform::CurrentProcessId());
  const std::string name = kNamePrefix + DateTimeText(now, "", "-", "") + "-" + pid + kNameSuffix;
  int error = 0;
  if (!StartLog(log, folder + TPath::FromNative(name), error)) return;
  RemoveOldLogs(folder, name);
}

bool OpenRunLogAt(const TPath& given, TDisplayText& reason) {
  TRunLogState& log = State();
  platform::LockGuard hold(log.lock);
  if (!log.path.Empty()) return true;
  const TPath file = platform::ExpandFileName(given);
  const TPath folder = ExtractFilePath(file);
  int error = 0;
  if (!folder.Empty() && !platform::DirectoryExists(folder) && !ForceDirectories(folder))
    error = platform::LastFileError();
  else if (StartLog(log, file, error))
    return true;
  reason = TDisplayText() + file + "\r\n" + platform::SystemErrorText(error);
  return false;
}

namespace {
bool StartLog(TRunLogState& log, const TPath& path, int& error) {
  const platform::LocalDateTime now = platform::LocalNow();
  const std::string pid = std::to_string(platform::CurrentProcessId());
  log.file = platform::FileOpen(path, platform::FileAccess::ReadWrite, platform::FileShare::Read,
                                platform::FileCreate::CreateAlways, error);
  if (log.file == platform::kInvalidFile) return false;
  log.path = path;
  log.startTick = platform::TickCount();
  log.written = 0;
  log.full = false;
  Write(log, kByteOrderMark);

  const std::string version = platform::ModuleVersion();
  WriteLine(log, "setupTQ " + (version.empty() ? std::string("(no version record)") : version) + ", process " + pid +
                     ", started " + DateTimeText(now, "-", " ", ":") + " " + ZoneText());
  WriteLine(log, "program: " + platform::ModuleFileName().Native());
  WriteLine(log, "system: " + platform::SystemVersionText() + ", code page " +
                     std::to_string(platform::AnsiCodePage()) + ", " + std::to_string(platform::ScreenDpi()) + " dpi");
  return true;
}
}  // namespace

void LogLine(std::string_view utf8) {
  TRunLogState& log = State();
  platform::LockGuard hold(log.lock);
  WriteLine(log, utf8);
}

void LogText(const TText& text) { LogLine(platform::MessageNative(text)); }

TPath RunLogPath() {
  TRunLogState& log = State();
  platform::LockGuard hold(log.lock);
  return log.path;
}

TDisplayText NameRunLog(const TDisplayText& message) {
  const TPath path = RunLogPath();
  if (path.Empty()) return message;
  return message + "\r\n\r\n运行记录：" + path + "（联系技术支持时请附上此文件）";
}

void CloseRunLog() {
  TRunLogState& log = State();
  platform::LockGuard hold(log.lock);
  if (log.file != platform::kInvalidFile) platform::FileClose(log.file);
  log.file = platform::kInvalidFile;
  log.path = TPath();
}
