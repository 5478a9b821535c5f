#pragma once
// The extraction window: a two-second ramp of its progress bar, then the embedded archive is
// saved beside the program, unpacked into the program's folder, and the installer started
// with the program's first argument. A failure of that work is shown in the application's
// error box (which file, and the system's reason) and ends the run without launching.
#include <exception>
#include <functional>
#include <string>

#include "gui/Forms.h"

/// The part of the work that failed.
enum TExtractionStep { esLoading, esSaving, esUnpacking };
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

  /// Reads the embedded archive (the program's resource "Brenlow" of type "dat").
  std::function<bool(std::string& bytes)> LoadArchive;
  /// The program's own file; its folder receives the archive and the installer.
  TPath ProgramPath;
  /// Starts the installer through the shell ("Open", the application's window as owner).
  std::function<void(const TPath& file, const TPath& parameters)> Launch;
};
