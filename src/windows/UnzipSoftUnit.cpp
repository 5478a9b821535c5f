#include "windows/UnzipSoftUnit.h"

#include "archive/ArchiveExtract.h"
#include "base/Classes.h"
#include "base/RunLog.h"
#include "base/SysUtils.h"
#include "gui/Make.h"
#include "platform/Platform.h"
#include "settings/TerminateProcesses.h"
#include "settings/allparam.h"

TFrmUnzipSoft::TFrmUnzipSoft(TComponent* owner) : TForm(owner) {
  SetCaption("正在解压缩安装包...");
  SetDesignBounds(197, 284, 662, 101);
  SetColor(ColorFromRGB(245, 250, 254));
  SetFont(TFont());  // MS Sans Serif, 11 pixels

  Label1 = gui::NewFixedLabel(this, {.place = {16, 12, 425, 13}, .font = DesignFont()});
  ProgressBar1 = gui::NewBottomProgressBar(this, {.place = {0, 50, 654, 17}, .max = 180, .step = 10, .tabOrder = 0});
  Timer1 = gui::NewTimer(this, {.interval = 100, .enabled = false, .onTimer = [this] { Timer1Timer(); }});

  // What the window takes from outside itself, each a seam the tests replace.
  LoadArchive = [](std::string& bytes) { return platform::FindModuleResource("Brenlow", "dat", bytes); };
  ProgramPath = platform::ModuleFileName();
  Launch = [](const TPath& file, const TPath& parameters) {
    LogLine("starting the installer: \"" + file.Native() + "\" " + parameters.Native());
    const std::intptr_t shell =
        platform::ShellExecute(Application->Handle(), "Open", file, parameters, platform::kShow);
    LogLine(shell > 32 ? "the installer started"
                       : "the installer did not start: shell result " + std::to_string(shell));
  };

  OnCreate = [this] { FormCreate(); };
  Loaded();
}

TDisplayText ExtractionFailureText(TExtractionStep step, std::exception_ptr failure) {
  // The program's own words; the file's path and the system's reason for refusing it whole,
  // in the system's language.
  try {
    std::rethrow_exception(failure);
  } catch (const EFileError& file) {
    const char* what = step == esSaving ? "无法保存安装包“" : "无法解压文件“";
    return TDisplayText(what) + file.FileName() + "”。\r\n" + file.Reason();
  } catch (const EWriteError&) {
    const std::string& name = step == esSaving ? ArchiveFileName : InstallerExeName;
    return "无法写入" + name + "，磁盘空间可能不足。";
  } catch (...) {
    // Any other failure is told by the step it stopped: the texts below.
  }
  if (step == esLoading) return "找不到程序中的安装包，请重新下载安装程序。";
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
    std::string archive;
    if (!LoadArchive(archive)) throw EResNotFound("Resource Brenlow not found");
    const TPath folder = ExtractFilePath(ProgramPath);
    Application->ProcessMessages();
    const TPath archivePath = folder + platform::PathDelim() + platform::PathFromText(ArchiveFileName);
    Application->ProcessMessages();
    step = esSaving;
    {
      TFileStream out(archivePath, platform::FileAccess::ReadWrite, platform::FileShare::None,
                      platform::FileCreate::CreateAlways);
      out.WriteBuffer(archive.data(), static_cast<int>(archive.size()));
    }
    LogLine("saved " + archivePath.Native() + ", " + std::to_string(archive.size()) + " bytes");
    Application->ProcessMessages();
    Application->ProcessMessages();
    step = esUnpacking;
    UnpackArchiveFile(archivePath, folder);
    LogLine("unpacked into " + folder.Native());
    Application->ProcessMessages();
    Launch(folder + platform::PathFromText(InstallerExeName), platform::ParamStr(1));
    Application->ProcessMessages();
  } catch (const std::exception&) {
    // A missing resource, an unwritable folder or an installer file held by another program:
    // the user is told which file and why, and nothing (a partly written installer, or a
    // stale one of an earlier run) is started.
    Application->ShowErrorBox(NameRunLog(ExtractionFailureText(step, std::current_exception())));
  }
  Application->Terminate();
}
