#pragma once
// setupkit's commands: each lives in its own file and registers itself with one line,
//   static const RegisterCommand reg{"pack", "OUT FILE...", "pack files into a payload archive", RunPack};
// args excludes the program and the command name. The exit codes are the same for every command:
//   0  done, or the check says yes
//   1  the check says no (a mismatch, a refused launcher): Fail() prints why and returns it
//   2  a usage error: raise EUsageError (main adds where to find the usage)
//   3  an I/O or input error (a missing file, not a PE, a damaged archive): any other exception
// -h/--help before "--" shows the command's usage (main), and "--" ends the options.
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "base/SysUtils.h"
#include "platform/Platform.h"

// The tool's own texts are in the platform's form, as its arguments are (from the wide command
// line on Windows: UTF-8): paths, URLs and English. A text of the program (code page 936: an
// entry name, an error of the launcher's code) is converted before it joins one (ShownName,
// ErrorText). Output goes through Print: to a console as UTF-16 (every character shows, whatever
// the console's code page), to a file or a pipe as UTF-8.

/// The text as it may reach a terminal, where it leaves the tool: every control character
/// but the line feed (C0, DEL, C1 such as NEL and CSI), the line and paragraph separators, the
/// direction marks and overrides, and every byte that is no UTF-8 (a raw byte of code page 936)
/// as \xNN, one for each byte.
std::string TerminalText(const std::string& text);
/// printf to `stream` (stdout or stderr), the text in the platform's form, through TerminalText:
/// nothing read from a file or given by a server reaches the terminal raw.
void Print(FILE* stream, const char* format, ...) SETUPTQ_PRINTF_FORMAT(2, 3);
/// An argument (in the platform's form) as a path.
inline TPath ArgPath(const std::string& arg) { return TPath::FromNative(arg); }
/// An archive entry's name (code page 936) as the tool shows it: converted, control
/// characters and backslashes escaped as \xNN.
std::string ShownName(const std::string& entryName);
/// The one escaping of what the tool reads from a file before it reaches a terminal: control
/// bytes, DEL and "\\" as \xNN, and every byte of 0x80 and above too unless `keepHighBytes`
/// (a text already in the platform's form, whose characters are shown).
std::string EscapedBytes(const std::string& bytes, bool keepHighBytes);
/// An error's message for a person, in the platform's form (paths and system texts whole).
std::string ErrorText(const Exception& e);
/// A message of the tool's own (in the platform's form) as an error shows it.
inline TDisplayText NativeText(const std::string& message) { return TDisplayText::FromSystem(message); }
/// Raises E with a message of the tool's own, which may name a path.
template <class E>
[[noreturn]] void RaiseNative(const std::string& message) {
  if constexpr (std::is_base_of_v<EFileError, E>)
    throw E(message, TPath(), TDisplayText(), NativeText(message));
  else
    throw E(message, NativeText(message));
}

constexpr int kExitNo = 1, kExitUsage = 2, kExitInput = 3;

SETUPTQ_EXCEPTION(EUsageError, Exception);

using CommandFn = int (*)(const std::vector<std::string>& args);

struct CommandInfo {
  const char* name;
  const char* usage;
  const char* summary;
  CommandFn run;
};

std::vector<CommandInfo>& Commands();

struct RegisterCommand {
  RegisterCommand(const char* name, const char* usage, const char* summary, CommandFn run) {
    Commands().push_back({name, usage, summary, run});
  }
};

/// The command being run (main sets it): the messages name it.
extern std::string CurrentCommand;

/// Prints "setupkit COMMAND: <message>" on stderr and returns 1 (the check says no).
int Fail(const std::string& message);
/// The same, with an error's message for a person (ErrorText).
int Fail(const Exception& e);

/// A command's arguments split into options and operands. Options are the names declared (an
/// option with a value takes the next argument); any other argument beginning with "-" (but "-"
/// alone) before "--" is an unknown option, raised as EUsageError naming it.
class TCommandLine;
/// The mirrors given by --mirror, each checked as a base URL (a usage error names a bad one;
/// what was made of a full reply URL is said on stderr for `command`).
std::vector<std::string> MirrorOptions(const TCommandLine& cl, const char* command);

class TCommandLine {
 public:
  struct TOption {
    std::vector<std::string> names;  // the first is the one Has and Values ask for
    bool takesValue = false;
  };
  TCommandLine(const std::vector<std::string>& args, const std::vector<TOption>& options);
  bool Has(const std::string& name) const { return !Values(name).empty(); }
  /// Every value given (an option without a value gives "" once per use).
  std::vector<std::string> Values(const std::string& name) const;
  /// The value given; EUsageError when given more than once.
  std::string Value(const std::string& name) const;
  const std::vector<std::string>& Operands() const { return operands_; }
  /// EUsageError unless there are from min to max operands; `what` names them for the message.
  void ExpectOperands(std::size_t min, std::size_t max, const std::string& what) const;

 private:
  std::vector<std::pair<std::string, std::string>> given_;
  std::vector<std::string> operands_;
};

/// A progress line on stderr when it is a terminal (else nothing): rewritten in place, and
/// blanked before other output.
class TProgressLine {
 public:
  TProgressLine();
  ~TProgressLine() { Clear(); }
  void Show(const std::string& text);
  void Clear();

 private:
  bool shown_;
  std::size_t width_ = 0;
};

/// "12.3 MB", "456 KB", "789 bytes".
std::string SizeText(std::int64_t bytes);
