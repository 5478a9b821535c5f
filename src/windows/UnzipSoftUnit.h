#pragma once
// The extraction window: a two-second ramp of its progress bar, then the embedded archive is
// saved beside the program, unpacked into the program's folder, and the installer started
// with the program's first argument. A failure of that work is shown in the application's
// error box (which file, and the system's reason) and ends the run without launching.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "gui/Forms.h"

/// The part of the work that failed.
enum TExtractionStep { esLoading, esSaving, esUnpacking, esLaunching };
/// The error box's text for a failure of the work: Chinese, naming the file, with the
/// system's reason when the system refused a file.
TDisplayText ExtractionFailureText(TExtractionStep step, std::exception_ptr failure);

class TFrmUnzipSoft : public TForm {
 public:
  explicit TFrmUnzipSoft(TComponent* owner);

  TLabel* Label1;
  TProgressBar* ProgressBar1;
  TTimer* Timer1;

  void FormCreate();
  void Timer1Timer();

  /// Finds the embedded archive (the program's resource "Brenlow" of type "dat") where it lies
  /// in the program's image: it is written from there, never copied whole.
  std::function<bool(const char*& data, std::size_t& size)> LoadArchive;
  /// The program's own file; its folder receives the archive and the installer.
  TPath ProgramPath;
  /// Starts the installer through the shell ("Open", the application's window as owner);
  /// the shell's result (above 32 when it started).
  std::function<std::intptr_t(const TPath& file, const TPath& parameters)> Launch;
  /// The same, then waits for the installer to end, the window answering meanwhile; its exit
  /// code in `exitCode`. Used when WaitForInstaller is set.
  std::function<std::intptr_t(const TPath& file, const TPath& parameters, std::uint32_t& exitCode)> LaunchAndWait;
  /// The installer's parameters (the run's options: what the launcher hands on).
  TPath Parameters;
  /// An unattended run waits for the installer, whose exit code becomes the run's.
  bool WaitForInstaller = false;
  /// How the window's work ended, as the run's exit code: cancelled until the work ran; the
  /// failed code when it stopped; 0 once the installer started, or the installer's own code
  /// when it was waited for.
  int ExitCode;

 private:
  /// Runs one long step of the work on a thread of its own; meanwhile the window thread keeps
  /// the window answering and the bar at `done` of `total`. Raises what the step raised.
  void RunOffWindowThread(const std::function<void()>& step, const std::atomic<std::int64_t>& done, std::int64_t total);
  void ShowWorkDone(std::int64_t done, std::int64_t total);
};

/// Writes the payload to `path` in slices, counting the bytes written in `done`. After a
/// failure nothing of it is left (a file it could not create is left as it was).
void SavePayload(const char* data, std::size_t size, const TPath& path, std::atomic<std::int64_t>& done);
