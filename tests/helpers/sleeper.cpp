// A child process for the termination tests.
//   sleeper               waits until it is ended (at most a minute)
//   sleeper self MARKER   asks to end every process of its own image name, then writes MARKER
#include <string>

#include "base/Classes.h"
#include "platform/Platform.h"
#include "settings/TerminateProcesses.h"

int main() {
  if (platform::ParamStr(1).Native() == "self") {
    std::string me = platform::ModuleFileName().Native();
    me = me.substr(me.find_last_of("\\/") + 1);
    TerminateProcessesByName(platform::PathText(TPath::FromNative(me)));
    TFileStream marker(platform::ParamStr(2), platform::FileAccess::ReadWrite, platform::FileShare::None,
                       platform::FileCreate::CreateAlways);
    marker.WriteBuffer("alive", 5);
    return 0;
  }
  platform::SleepMs(60000);
  return 0;
}
