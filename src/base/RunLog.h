#pragma once
// The run's log: one file per run of the launcher in the user's temporary folder, which the
// vendor's support asks for first. "setupTQ-YYYYMMDD-HHMMSS-PID.log", UTF-8 with a byte-order
// mark (Notepad on any Windows reads it so), one line per event, each starting with the
// milliseconds since the log was opened. Writing it never changes the run: a log that cannot
// be opened or written is given up without a word. Any thread may write to it.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"

/// The most one log file holds: a run that says more ends its log with a line saying so.
constexpr std::int64_t kRunLogMaxBytes = 1024 * 1024;
/// The logs kept in the folder, this run's included; older ones go when a run opens its own.
constexpr int kRunLogsKept = 10;

/// Opens this run's log in `folder` (the user's temporary folder when empty), removes the logs
/// of earlier runs beyond the newest kRunLogsKept, and writes what a report of the run starts
/// with: the program's version and path, the process, the local time and zone, the system, its
/// code page and DPI. Does nothing when a log is open already.
void OpenRunLog(const TPath& folder = TPath());
/// Opens this run's log at `file`, a path the user chose (relative to the current folder),
/// making its folder and replacing a file of that name; nothing else there is removed. False
/// when it cannot be written, with the path and the system's reason in `reason`.
bool OpenRunLogAt(const TPath& file, TDisplayText& reason);
/// One line of UTF-8. CR and LF become " | "; any other control character, or a byte that is
/// not UTF-8, "\xNN"; a C1 control, a line or paragraph separator or a bidirectional control
/// "\uNNNN": an event stays one line, in its order, whatever a server sent.
void LogLine(std::string_view utf8);
/// One line from a text of the program (code page 936).
void LogText(const TText& text);
/// The log's path; empty when no log was opened.
TPath RunLogPath();
/// An error box's text followed by where the log of this run is, for the boxes that tell the
/// user something went wrong; unchanged when there is no log.
TDisplayText NameRunLog(const TDisplayText& message);
/// Ends writing the log (the tests; the process's end closes it otherwise).
void CloseRunLog();
