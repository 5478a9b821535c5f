#include "Temporary.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

TTemporary::TTemporary(const std::string& target) : target_(target) {
  const fs::path out(target);
  std::random_device random;
  for (int attempt = 0; path_.empty(); ++attempt) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(random()));
    const fs::path candidate = out.parent_path() / ("." + out.filename().string() + "." + tag + ".tmp");
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) path_ = candidate.string();
    if (attempt > 100) throw EFCreateError("cannot write " + target + ": no free temporary name beside it");
  }
  try {
    file_ = std::make_unique<TFileStream>(path_, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                          platform::FileCreate::CreateAlways);
  } catch (const EStreamError& e) {
    throw EFCreateError("cannot write " + target + ": " + InTargetsWords(e.Message()));
  }
}

TTemporary::~TTemporary() {
  file_.reset();
  if (!done_) std::remove(path_.c_str());
}

void TTemporary::ReplaceTarget() {
  file_.reset();
  std::error_code ec;
  fs::rename(path_, target_, ec);
  if (ec) throw EFCreateError("cannot write " + target_ + ": " + ec.message());
  done_ = true;
}

std::string TTemporary::InTargetsWords(const std::string& message) const {
  return StringReplaceAll(message, path_, target_);
}

void CheckOutputPath(const std::string& target, const std::vector<std::string>& inputs) {
  std::error_code ec;
  if (fs::is_directory(target, ec))
    throw EArgumentException(target + " is a folder: give the name of the file to write in it");
  for (const auto& in : inputs)
    if (fs::equivalent(in, target, ec) && !ec)
      throw EArgumentException("the output " + target + " is one of the inputs (" + in + "): write to a new file");
}
