#include "windows/UnzipSoftUnit.h"

#include <algorithm>
#include <memory>

#include "archive/ArchiveExtract.h"
#include "base/Classes.h"
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "gui/Make.h"
#include "platform/Platform.h"
#include "settings/RunOptions.h"
#include "settings/TerminateProcesses.h"
#include "settings/allparam.h"
#include "windows/VerifyStyle.h"

namespace {

/// A slice of the payload written at a time: the bar moves with it, and a full disk shows early.
constexpr std::size_t kSaveSliceBytes = 1 << 20;
/// How often the window thread, while a step of the work runs, takes its messages and moves the
/// bar: well within what the system and the user wait for an answer.
constexpr std::uint32_t kWorkPollMs = 50;
/// The shell's results up to this one are failures.
constexpr std::intptr_t kShellLastError = 32;

/// The shell's failure as the system words it: 0 is running out of resources; its own codes
/// above 25 (SE_ERR_...) have no text of the system's.
TDisplayText ShellFailureText(std::intptr_t code) {
  if (code == 0) return platform::SystemErrorText(8);  // not enough memory
  return code < 26 ? platform::SystemErrorText(static_cast<int>(code)) : TDisplayText();
}

}  // namespace

TFrmUnzipSoft::TFrmUnzipSoft(TComponent* owner) : TForm(owner) {
  SetCaption("正在解压缩安装包...");
  SetDesignBounds(197, 284, 662, 101);
  SetColor(ColorFromRGB(245, 250, 254));
  SetFont(TFont());  // MS Sans Serif, 11 pixels

  // Its text is Chinese: in 宋体, which holds it in every code page, as the other windows'
  // labels are (the form's font holds no Chinese where the system's code page has none).
  Label1 = gui::NewFixedLabel(this, {.place = {16, 12, 425, 13}, .font = verifystyle::SongTi(12, clWindowText)});
  ProgressBar1 = gui::NewBottomProgressBar(this, {.place = {0, 50, 654, 17}, .max = 180, .step = 10, .tabOrder = 0});
  Timer1 = gui::NewTimer(this, {.interval = 100, .enabled = false, .onTimer = [this] { Timer1Timer(); }});

  // What the window takes from outside itself, each a seam the tests replace.
  LoadArchive = [](const char*& data, std::size_t& size) {
    return platform::FindModuleResourceView("Brenlow", "dat", data, size);
  };
  ProgramPath = platform::ModuleFileName();
  Launch = [](const TPath& file, const TPath& parameters) {
    LogLine("starting the installer: \"" + file.Native() + "\" " + parameters.Native());
    const std::intptr_t shell =
        platform::ShellExecute(Application->Handle(), "Open", file, parameters, platform::kShow);
    LogLine(shell > 32 ? "the installer started"
                       : "the installer did not start: shell result " + std::to_string(shell));
    return shell;
  };
  LaunchAndWait = [this](const TPath& file, const TPath& parameters, std::uint32_t& exitCode) {
    LogLine("starting the installer and waiting for it: \"" + file.Native() + "\" " + parameters.Native());
    std::intptr_t process = 0;
    const std::intptr_t shell =
        platform::ShellExecuteProcess(Application->Handle(), "Open", file, parameters, platform::kShow, process);
    if (shell <= kShellLastError) {
      LogLine("the installer did not start: shell result " + std::to_string(shell));
      return shell;
    }
    exitCode = 0;
    if (!process) {
      LogLine("the installer started, but the shell gave no process to wait for");
      return shell;
    }
    while (!platform::WaitShellProcess(process, kWorkPollMs, exitCode)) Application->ProcessMessages();
    platform::CloseShellProcess(process);
    LogLine("the installer ended with exit code " + std::to_string(exitCode));
    return shell;
  };
  Parameters = InstallerParameters(RunOptions);
  ExitCode = kExitCancelled;

  OnCreate = [this] { FormCreate(); };
  Loaded();
}

TDisplayText ExtractionFailureText(TExtractionStep step, std::exception_ptr failure) {
  // The program's own words; the file's path and the system's reason for refusing it whole,
  // in the system's language.
  try {
    std::rethrow_exception(failure);
  } catch (const EFileError& file) {
    const char* what = step == esSaving      ? "无法保存安装包“"
                       : step == esLaunching ? "无法启动安装程序“"
                                             : "无法解压文件“";
    TDisplayText text = TDisplayText(what) + file.FileName() + "”。";
    if (!file.Reason().Empty()) text = text + "\r\n" + file.Reason();
    return text;
  } catch (const EWriteError&) {
    const std::string& name = step == esSaving ? ArchiveFileName : InstallerExeName;
    return "无法写入" + name + "，磁盘空间可能不足。";
  } catch (...) {
    // Any other failure is told by the step it stopped: the texts below.
  }
  if (step == esLoading) return "找不到程序中的安装包，请重新下载安装程序。";
  // Whatever else stops the saving, it is the saving that failed, not the payload.
  if (step == esSaving) return "无法保存安装包" + ArchiveFileName + "。";
  return "安装包已损坏，无法解压" + InstallerExeName + "，请重新下载安装程序。";
}

void TFrmUnzipSoft::FormCreate() {
  Label1->SetCaption("正在提取压缩包" + ArchiveFileName + "，并解压成" + InstallerExeName + "，请等待...");
  TerminateProcessesByName(InstallerExeName);
  TerminateProcessesByName(ArchiveFileName);
  Timer1->SetEnabled(true);
}

void TFrmUnzipSoft::Timer1Timer() {
  if (ProgressBar1->Position() < ProgressBar1->Max()) {
    ProgressBar1->StepIt();
    return;
  }
  // First, so that no further tick arrives while the work runs.
  Timer1->SetEnabled(false);
  TExtractionStep step = esLoading;
  try {
    const char* payload = nullptr;
    std::size_t size = 0;
    if (!LoadArchive(payload, size)) throw EResNotFound("Resource Brenlow not found");
    const TPath folder = ExtractFilePath(ProgramPath);
    Application->ProcessMessages();
    const TPath archivePath = folder + platform::PathFromText(ArchiveFileName);  // folder ends in its delimiter
    Application->ProcessMessages();
    // From here the bar shows the work itself: the payload written, then read back to unpack.
    const std::int64_t total = 2 * static_cast<std::int64_t>(size);
    std::atomic<std::int64_t> done{0};
    ShowWorkDone(0, total);
    step = esSaving;
    RunOffWindowThread([&] { SavePayload(payload, size, archivePath, done); }, done, total);
    LogLine("saved " + archivePath.Native() + ", " + std::to_string(size) + " bytes");
    Application->ProcessMessages();
    Application->ProcessMessages();
    step = esUnpacking;
    const auto unpacked = [&done, size](std::int64_t read) { done = static_cast<std::int64_t>(size) + read; };
    // A part of an installer must never be left for anyone to start.
    RunOffWindowThread([&] { UnpackArchiveFile(archivePath, folder, unpacked, true); }, done, total);
    LogLine("unpacked into " + folder.Native());
    Application->ProcessMessages();
    step = esLaunching;
    const TPath installer = folder + platform::PathFromText(InstallerExeName);
    std::uint32_t installerExit = 0;
    const std::intptr_t started =
        WaitForInstaller ? LaunchAndWait(installer, Parameters, installerExit) : Launch(installer, Parameters);
    if (started <= kShellLastError)
      throw EFileError("Cannot start", platform::ExpandFileName(installer), ShellFailureText(started));
    ExitCode = static_cast<int>(installerExit);
    Application->ProcessMessages();
  } catch (const std::exception&) {
    ExitCode = kExitFailed;
    // A missing resource, an unwritable folder, an installer file held by another program or
    // one that does not start: the user is told which file and why, and nothing (a partly
    // written installer, or a stale one of an earlier run) is started.
    Application->ShowErrorBox(NameRunLog(ExtractionFailureText(step, std::current_exception())));
  }
  Application->Terminate();
}

void TFrmUnzipSoft::RunOffWindowThread(const std::function<void()>& step, const std::atomic<std::int64_t>& done,
                                       std::int64_t total) {
  std::exception_ptr failure;
  platform::Event finished;
  platform::Thread worker;
  const auto run = [&] {
    try {
      step();
    } catch (...) {
      failure = std::current_exception();
    }
    finished.Set();
  };
  if (!worker.Start(run)) {
    run();  // no second thread to be had: the step runs here, the window waiting for it
  } else {
    while (!finished.Wait(kWorkPollMs)) {
      ShowWorkDone(done, total);
      Application->ProcessMessages();
    }
    worker.Join();
  }
  ShowWorkDone(done, total);
  if (failure) std::rethrow_exception(failure);
}

void TFrmUnzipSoft::ShowWorkDone(std::int64_t done, std::int64_t total) {
  const std::int64_t max = ProgressBar1->Max();
  ProgressBar1->SetPosition(total > 0 ? static_cast<int>(std::min(done, total) * max / total) : static_cast<int>(max));
}

void SavePayload(const char* data, std::size_t size, const TPath& path, std::atomic<std::int64_t>& done) {
  // A file that cannot be created raises here, and is not ours to remove.
  auto out = std::make_unique<TFileStream>(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                           platform::FileCreate::CreateAlways);
  try {
    for (std::size_t at = 0; at < size;) {
      const int n = static_cast<int>(std::min<std::size_t>(kSaveSliceBytes, size - at));
      out->WriteBuffer(data + at, n);
      at += static_cast<std::size_t>(n);
      done = static_cast<std::int64_t>(at);
    }
  } catch (...) {
    // A part of the archive is worse than none; closed first, since Windows removes no open file.
    out.reset();
    platform::RemoveFile(path);
    throw;
  }
}
