#include "settings/TerminateProcesses.h"

#include "base/SysUtils.h"
#include "platform/Platform.h"

int TerminateProcessesByName(const TText& imageName) {
  int result = 0;
  try {
    // The snapshot names images as paths: the name is compared in that form.
    const std::string wanted = UpperCase(platform::PathFromText(imageName).Native());
    const std::uint32_t self = platform::CurrentProcessId();
    platform::ProcessSnapshot snapshot;
    platform::ProcessEntry entry;
    for (bool more = snapshot.First(entry); more; more = snapshot.Next(entry)) {
      const std::string& exe = entry.exeFile.Native();
      const std::string fileName = exe.substr(LastDelimiter("\\:", exe) + 1);  // npos + 1 == 0
      if (UpperCase(fileName) != wanted && UpperCase(exe) != wanted) continue;
      // A launcher renamed to the installer's name must not end itself halfway.
      if (entry.processId == self) continue;
      result = platform::TerminateProcessById(entry.processId);
    }
  } catch (...) {
    // Nothing to report: a process that cannot be ended is left running.
  }
  return result;
}
