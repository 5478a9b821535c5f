#include "Temporary.h"

#include <cstdio>
#include <random>

#include "Command.h"
#include "platform/Platform.h"

namespace {
[[noreturn]] void CannotWrite(const std::string& target, const std::string& why) {
  const std::string message = "cannot write " + target + ": " + why;
  throw EFCreateError(message, ArgPath(target), TDisplayText(), NativeText(message));
}
}  // namespace

TTemporary::TTemporary(const std::string& target) : target_(target) {
  const std::size_t cut = LastDelimiter(PathDelimiters(), target);
  const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? target : target.substr(cut + 1);
  std::random_device random;
  for (int attempt = 0; path_.empty(); ++attempt) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(random()));
    const std::string candidate = folder + "." + name + "." + tag + ".tmp";
    if (platform::KindOfPath(ArgPath(candidate)) == platform::PathKind::None) path_ = candidate;
    if (attempt > 100) CannotWrite(target, "no free temporary name beside it");
  }
  try {
    file_ = std::make_unique<TFileStream>(ArgPath(path_), platform::FileAccess::ReadWrite, platform::FileShare::None,
                                          platform::FileCreate::CreateAlways);
  } catch (const EStreamError& e) {
    CannotWrite(target, InTargetsWords(ErrorText(e)));
  }
}

TTemporary::~TTemporary() {
  file_.reset();
  if (!done_) platform::RemoveFile(ArgPath(path_));
}

void TTemporary::ReplaceTarget() {
  file_.reset();
  if (!platform::RenameFile(ArgPath(path_), ArgPath(target_)))
    CannotWrite(target_, "the finished file could not be renamed onto it");
  done_ = true;
}

std::string TTemporary::InTargetsWords(const std::string& message) const {
  return StringReplaceAll(message, path_, target_);
}

void CheckOutputPath(const std::string& target, const std::vector<std::string>& inputs) {
  if (platform::DirectoryExists(ArgPath(target)))
    RaiseNative<EArgumentException>(target + " is a folder: give the name of the file to write in it");
  for (const auto& in : inputs)
    if (platform::SameFile(ArgPath(in), ArgPath(target)))
      RaiseNative<EArgumentException>("the output " + target + " is one of the inputs (" + in +
                                      "): write to a new file");
}
