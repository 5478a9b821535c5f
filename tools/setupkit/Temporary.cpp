#include "Temporary.h"

#include <cstdio>

#include "Command.h"
#include "platform/Platform.h"

namespace {
// A temporary name that is taken already is tried again with another.
constexpr int kTemporaryAttempts = 100;
}  // namespace

TTemporary::TTemporary(const std::string& target) : target_(target) {
  const std::size_t cut = LastDelimiter(PathDelimiters(), target);
  const std::string folder = cut == std::string::npos ? std::string(".") : target.substr(0, cut + 1);
  name_ = cut == std::string::npos ? target : target.substr(cut + 1);
  folder_ = std::make_unique<platform::Folder>(ArgPath(folder));
  if (!folder_->IsOpen())
    RaiseNative<EFCreateError>("cannot write " + target + ": " +
                               platform::MessageNative(platform::SystemErrorText(folder_->Error())));
  RemoveStaleTemporaries(*folder_);  // what a killed run left here
  platform::FileHandle handle = platform::kInvalidFile;
  int error = 0;
  for (unsigned attempt = 0; handle == platform::kInvalidFile && attempt < kTemporaryAttempts; ++attempt) {
    temporaryName_ = TemporaryNameFor(
        name_, static_cast<unsigned>(platform::CurrentProcessId() * 2654435761u + platform::TickCount() + attempt));
    handle = folder_->CreateNew(temporaryName_, error);
  }
  if (handle == platform::kInvalidFile)
    RaiseNative<EFCreateError>("cannot write " + target + ": " +
                               platform::MessageNative(platform::SystemErrorText(error)));
  path_ = cut == std::string::npos ? temporaryName_ : folder + temporaryName_;
  slot_ = platform::RegisterTemporary(ArgPath(path_));
  file_ = std::make_unique<TFileStream>(handle);
}

TTemporary::~TTemporary() {
  file_.reset();
  if (!done_) folder_->Remove(temporaryName_);
  platform::UnregisterTemporary(slot_);
}

void TTemporary::ReplaceTarget() {
  file_.reset();
  int error = 0;
  if (!folder_->Rename(temporaryName_, name_, error))
    RaiseNative<EFCreateError>("cannot write " + target_ + ": " +
                               platform::MessageNative(platform::SystemErrorText(error)));
  done_ = true;
}

std::string TTemporary::InTargetsWords(const std::string& message) const {
  std::string text = StringReplaceAll(message, path_, target_);
  if (file_ && file_->LastError() != 0)
    text += " (" + platform::MessageNative(platform::SystemErrorText(file_->LastError())) + ")";
  return text;
}

void CheckOutputPath(const std::string& target, const std::vector<std::string>& inputs) {
  if (platform::DirectoryExists(ArgPath(target)))
    RaiseNative<EArgumentException>(target + " is a folder: give the name of the file to write in it");
  for (const auto& in : inputs)
    if (platform::SameFile(ArgPath(in), ArgPath(target)))
      RaiseNative<EArgumentException>("the output " + target + " is one of the inputs (" + in +
                                      "): write to a new file");
}
