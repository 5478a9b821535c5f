// The launcher's entry: the whole run as a straight sequence of steps.
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/Forms.h"
#include "platform/Platform.h"
#include "settings/TerminateProcesses.h"
#include "settings/allparam.h"
#include "windows/FrmCheckShareCode.h"
#include "windows/UnzipSoftUnit.h"

namespace {

/// What this run checks against: the release, the fingerprint, and the mirrors in the order
/// drawn for this run.
void LogRelease() {
  LogText("release: " + ProductDisplayName + " " + ProductCode + " " + FloatToStrFixed(ProductVersion, 1) +
          ", fingerprint " + ShareCode->GetExeMD5());
  std::string order;
  for (const std::string& mirror : MirrorList) order += " " + mirror;
  LogText("mirrors in this run's order:" + order);
}

constexpr const char* kStartFailed = "安装程序无法启动：";
}  // namespace

int main() {
  // A setup program is started from a Downloads folder: no DLL planted beside it may load.
  platform::HardenDllSearch();
  // Every run leaves its log in the user's temporary folder, for the vendor's support.
  OpenRunLog();
  // The application object (Application) exists from here on; every window is its own.
  try {
    // The fixed settings, the mirror list in this run's order, the fingerprint of our own
    // file, and no running copy of the installer we are about to unpack.
    AssignSettings();
    BuildMirrorList();
    InitShareCode();
    LogRelease();
    TerminateProcessesByName(InstallerExeName);
    // The verification window asks the mirrors when the user presses install; its verdict
    // is read once, after it has closed.
    auto* verify = new TFrmNetVerify(Application);
    verify->ShowModal();
    const bool proceedToInstall = verify->ProceedToInstall;
    LogLine(proceedToInstall ? "the verification window closed, going on to install"
                             : "the verification window closed by the user: nothing installed");
    // Only on that verdict the extraction window, which unpacks and starts the installer
    // and ends the run.
    if (proceedToInstall) {
      auto* unzip = new TFrmUnzipSoft(Application);
      unzip->ShowModal();
    }
  } catch (const Exception& e) {
    // A launcher that cannot go on says so and why (its own file unreadable, a folder it
    // cannot use), in full, and where its log is; it never ends without a word.
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + e.Display()));
  } catch (const std::exception& e) {
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + e.what()));
  } catch (...) {
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + "未知错误"));
  }
  // There is no main window, so the application's loop returns at once and the process ends.
  Application->Run();
  LogLine("the run ends");
  return 0;
}
