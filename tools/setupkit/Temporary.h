#pragma once
// Writing a file whole or not at all: a temporary beside the target, named for this run, that
// replaces the target with one rename at the end.
#include <memory>
#include <string>
#include <vector>

#include "base/Classes.h"

class TTemporary {
 public:
  /// Creates ".NAME.XXXXXXXX.tmp" beside target, a name nothing had. Raises EFCreateError.
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
  /// replaced). Raises EFCreateError naming the target.
  void ReplaceTarget();
  /// A write error's text with the temporary's name replaced by the target's.
  std::string InTargetsWords(const std::string& message) const;

 private:
  std::string target_, path_;
  std::unique_ptr<TFileStream> file_;
  bool done_ = false;
};

/// The checks every writer of a new file makes: raises EArgumentException when
/// target is a folder or the same file as one of the inputs.
void CheckOutputPath(const std::string& target, const std::vector<std::string>& inputs);
