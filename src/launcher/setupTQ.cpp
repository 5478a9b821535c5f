// The launcher's entry: the whole run as a straight sequence of steps.
#include "gui/Forms.h"
#include "launcher/TerminateProcesses.h"
#include "launcher/allparam.h"
#include "payload/UnzipSoftUnit.h"
#include "platform/Platform.h"
#include "verify/FrmCheckShareCode.h"
#include "verify/ShareCodeCheckunit.h"

int main() {
  // A setup program is started from a Downloads folder: no DLL planted beside it may load.
  platform::HardenDllSearch();
  // 1. The application object exists from here on (Application).
  // 2. One frame around the run: a start-up error ends it silently.
  try {
    // 3. to 6. Settings, mirrors, our own fingerprint, no running installer left.
    AssignSettings();
    BuildMirrorList();
    InitShareCode();
    TerminateProcessesByName(InstallerExeName);
    // 7. The verification window, owned by the application; its verdict is read once.
    auto* verify = new TFrmNetVerify(Application);
    verify->ShowModal();
    const bool proceedToInstall = verify->ProceedToInstall;
    // 8. Only then the extraction window, which starts the installer and ends the run.
    if (proceedToInstall) {
      auto* unzip = new TFrmUnzipSoft(Application);
      unzip->ShowModal();
    }
  } catch (...) {
    // 9. Start-up errors end the run silently.
  }
  // 10. No main window: this returns at once. 11. The process ends.
  Application->Run();
  return 0;
}
