// The launcher's entry: the whole run as a straight sequence of steps.
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/Forms.h"
#include "platform/Platform.h"
#include "settings/RunOptions.h"
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
constexpr const char* kLogFailed = "无法写入运行记录：";
constexpr const char* kBadCommandLine = "命令行无效：";

/// The run's log where /log puts it, else in the temporary folder. False when /log names a
/// file that cannot be written: that is told in the log of the temporary folder instead.
bool OpenTheRunLog() {
  if (RunOptions.LogFile.Empty()) {
    OpenRunLog();
    return true;
  }
  TDisplayText reason;
  if (OpenRunLogAt(RunOptions.LogFile, reason)) return true;
  OpenRunLog();
  LogLine("the log cannot be written where /log asks: " + platform::MessageNative(reason));
  Application->ShowErrorBox(NameRunLog(TDisplayText(kLogFailed) + reason));
  return false;
}

/// The run's exit code once the verification window has closed without going on: in an
/// unattended run the check's verdict, else the user's close.
int DeclinedExitCode(const TFrmNetVerify& verify) {
  if (verify.PressAtOnce && verify.Verdict == vdMismatch) return kExitCheckMismatch;
  if (verify.PressAtOnce && verify.Verdict == vdNoAnswer) return kExitNoMirror;
  return kExitCancelled;
}

int Finish(int exitCode) {
  LogLine("the run ends: exit code " + std::to_string(exitCode));
  return exitCode;
}
}  // namespace

int main() {
  // A setup program is started from a Downloads folder: no DLL planted beside it may load.
  platform::HardenDllSearch();
  // The command line: the launcher's own options, and what it hands on to the installer. A
  // quiet run shows nothing from here on.
  ReadRunOptions();
  Application->SetQuiet(RunOptions.Mode == rmQuiet);
  AssignSettings();
  Application->SetTitle(ProductDisplayName + "安装程序");
  // Every run leaves its log, for the vendor's support and for whoever deploys it.
  const bool logged = OpenTheRunLog();
  LogLine("command line: " + DescribeRunOptions(RunOptions));
  LogLine("the installer's parameters: " + InstallerParameters(RunOptions).Native());
  if (!RunOptions.Problem.empty()) {
    LogLine("the command line cannot be used: " + RunOptions.Problem);
    Application->ShowErrorBox(NameRunLog(TDisplayText(kBadCommandLine) + TDisplayText::FromSystem(RunOptions.Problem)));
  }
  if (!logged || !RunOptions.Problem.empty()) return Finish(kExitBadCommandLine);
  if (RunOptions.Help) {
    Application->MessageBox(HelpText(), Application->Title(), gui::kMbOk);
    return Finish(kExitSuccess);
  }
  int exitCode = kExitCancelled;
  // The application object (Application) exists from here on; every window is its own.
  try {
    // The fixed settings, the mirror list in this run's order, the fingerprint of our own
    // file, and no running copy of the installer we are about to unpack.
    BuildMirrorList();
    InitShareCode();
    LogRelease();
    TerminateProcessesByName(InstallerExeName);
    // The verification window asks the mirrors when the user presses install; its verdict
    // is read once, after it has closed.
    auto* verify = new TFrmNetVerify(Application);
    verify->PressAtOnce = RunOptions.Unattended();
    if (RunOptions.SkipCheck) {
      // The administrator's choice, made as a user makes it: the box cleared.
      LogLine("/skipcheck: the cloud check box cleared, the mirrors are not asked");
      verify->CbSafeCheck->SetChecked(false);
    }
    verify->ShowModal();
    const bool proceedToInstall = verify->ProceedToInstall;
    LogLine(proceedToInstall                ? "the verification window closed, going on to install"
            : verify->Verdict == vdNotAsked ? "the verification window closed by the user: nothing installed"
                                            : "the verification window closed after a failed check: nothing installed");
    if (!proceedToInstall) exitCode = DeclinedExitCode(*verify);
    // Only on that verdict the extraction window, which unpacks and starts the installer
    // and ends the run.
    if (proceedToInstall) {
      auto* unzip = new TFrmUnzipSoft(Application);
      unzip->WaitForInstaller = RunOptions.Unattended();
      unzip->ShowModal();
      exitCode = unzip->ExitCode;
    }
  } catch (const Exception& e) {
    // A launcher that cannot go on says so and why (its own file unreadable, a folder it
    // cannot use), in full, and where its log is; it never ends without a word.
    exitCode = kExitFailed;
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + e.Display()));
  } catch (const std::exception& e) {
    exitCode = kExitFailed;
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + e.what()));
  } catch (...) {
    exitCode = kExitFailed;
    Application->ShowErrorBox(NameRunLog(TDisplayText(kStartFailed) + "未知错误"));
  }
  // There is no main window, so the application's loop returns at once and the process ends.
  Application->Run();
  return Finish(exitCode);
}
