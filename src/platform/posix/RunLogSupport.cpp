// Linux: what the run's log needs of the system: the temporary folder, the files of a folder,
// and what a report says of the system and the program.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Platform.h"

namespace platform {

TPath TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && *tmp ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return TPath::FromNative(folder);
}

std::vector<std::string> FileNamesIn(const TPath& path) {
  std::vector<std::string> names;
  const std::string& folder = path.Native();
  DIR* d = ::opendir(folder.c_str());
  if (!d) return names;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  while (const dirent* e = ::readdir(d)) {
    struct stat st;
    if (::lstat((prefix + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(e->d_name);
  }
  ::closedir(d);
  return names;
}

std::string SystemVersionText() {
  utsname u;
  if (::uname(&u) != 0) return "Linux";
  return std::string(u.sysname) + " " + u.release;
}

int ScreenDpi() { return 96; }

std::string ModuleVersion() { return std::string(); }

}  // namespace platform
