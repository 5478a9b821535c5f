#pragma once
// The launcher's command line, in the conventions of Windows installers: its own options
// (starting with "/" or "-", in any case, anywhere on the line), and every other argument,
// handed on to the installer in its order. Also the exit codes a run ends with, for the
// deployment tools that read them.
#include <string>
#include <vector>

#include "platform/Text.h"

/// Who watches the run: a person (the windows wait for presses), nobody but a progress
/// display (/passive: the windows show, nothing waits for a press), or nobody (/quiet: nothing
/// is shown at all).
enum TRunMode { rmInteractive, rmPassive, rmQuiet };

struct TRunOptions {
  TRunMode Mode = rmInteractive;
  /// /? or /help: the options and exit codes are shown, and nothing is run.
  bool Help = false;
  /// /skipcheck: installs without asking the mirrors, as a user who clears the box does.
  bool SkipCheck = false;
  /// /log PATH or /log=PATH: the run's log is written there; empty: in the temporary folder.
  TPath LogFile;
  /// What makes the command line unusable (a /log without its path); empty when nothing does.
  std::string Problem;
  /// The arguments the launcher does not take, in their order, as the system split them.
  std::vector<TPath> InstallerArguments;

  bool Unattended() const { return Mode != rmInteractive; }
};

/// Reads the launcher's arguments (without the program's own name).
TRunOptions ParseRunOptions(const std::vector<TPath>& arguments);

/// This run's options, read once at start-up by ReadRunOptions from the process's command line.
extern TRunOptions RunOptions;
void ReadRunOptions();

/// The installer's parameter text. An unattended run puts the release's quiet arguments (and
/// its no-restart one) first. One argument handed on goes as it always has, as it stands and
/// without quotes (an NSIS installer's /D=, which must not be quoted, relies on it); two or
/// more are each quoted where needed, so that the installer's own split gives back exactly the
/// arguments the launcher was given.
TPath InstallerParameters(const TRunOptions& options);
/// One argument written so that the C runtime (CommandLineToArgvW) reads it back as it is:
/// in quotes when it is empty or holds a blank, a control character or a quote; a quote and
/// the backslashes before it, or before the closing quote, escaped.
std::string QuoteArgument(const std::string& argument);

/// What the release names to make its installer run without windows ("/S"), and the argument
/// that keeps it from restarting the computer itself; either may be empty.
extern const char* const kInstallerQuietArguments;
extern const char* const kInstallerNoRestartArgument;

// The exit codes of a run: Windows Installer's where one means the same, else the launcher's
// own. The installer's own code is passed on as it is (3010 and 1641 among them).
constexpr int kExitSuccess = 0;
constexpr int kExitCancelled = 1602;       // the user closed the window or cancelled
constexpr int kExitFailed = 1603;          // the installer could not be unpacked or started
constexpr int kExitBadCommandLine = 1639;  // a /log without a path, or one that cannot be written
constexpr int kExitCheckMismatch = 2101;   // the mirrors answered with another build's code
constexpr int kExitNoMirror = 2102;        // no mirror answered

/// The text /? shows: the options and the exit codes (code page 936).
std::string HelpText();
/// The options of a run, for its log: "mode quiet, skip check, log C:\x.log".
std::string DescribeRunOptions(const TRunOptions& options);
