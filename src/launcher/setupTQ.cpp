// The launcher's entry: the whole run as a straight sequence of steps.
#include "gui/Forms.h"
#include "launcher/TerminateProcesses.h"
#include "launcher/allparam.h"
#include "payload/UnzipSoftUnit.h"
#include "platform/Platform.h"

int main() {
  // A setup program is started from a Downloads folder: no DLL planted beside it may load.
  platform::HardenDllSearch();
  // 1. The application object exists from here on (Application).
  try {
    AssignSettings();
    BuildMirrorList();
    TerminateProcessesByName(InstallerExeName);
    // Until the verification window is wired in, the run goes on as if it let the user through.
    const bool proceedToInstall = true;
    if (proceedToInstall) {
      auto* unzip = new TFrmUnzipSoft(Application);  // owned by the application
      unzip->ShowModal();
    }
  } catch (...) {
    // Start-up errors end the run silently.
  }
  Application->Run();
  return 0;
}
