#pragma once
// Writing a file whole or not at all: a temporary beside the target, named for this run, that
// replaces the target with one rename at the end. A temporary never outlives the run: it is
// removed when its owner goes, and by the interrupt handler (platform::InstallInterruptCleanup)
// when the run is interrupted.
#include <memory>
#include <string>
#include <vector>

#include "base/Classes.h"

class TTemporary {
 public:
  /// Creates ".NAME.XXXXXXXX.tmp" beside target (TemporaryNameFor), a name nothing had (never
  /// through a link), after removing the temporaries a killed run left there
  /// (RemoveStaleTemporaries). Raises EFCreateError naming the target and the system's reason.
  explicit TTemporary(const std::string& target);
  /// Removes the temporary unless it replaced the target.
  ~TTemporary();
  TTemporary(const TTemporary&) = delete;
  TTemporary& operator=(const TTemporary&) = delete;
  TFileStream& File() { return *file_; }
  const std::string& Path() const { return path_; }
  /// Closes the file (to read it again by its path).
  void Close() { file_.reset(); }
  /// Closes the file and renames it onto the target in one step (an existing target is
  /// replaced). Raises EFCreateError naming the target and the system's reason.
  void ReplaceTarget();
  /// A write error's text with the temporary's name replaced by the target's, and the
  /// system's reason added when the file has one ("Stream write error (No space left on device)").
  std::string InTargetsWords(const std::string& message) const;

 private:
  std::string target_, name_, temporaryName_, path_;
  std::unique_ptr<platform::Folder> folder_;
  std::unique_ptr<TFileStream> file_;
  int slot_ = -1;  // in the interrupt clean-up
  bool done_ = false;
};

/// The checks every writer of a new file makes: raises EArgumentException when
/// target is a folder or the same file as one of the inputs.
void CheckOutputPath(const std::string& target, const std::vector<std::string>& inputs);
