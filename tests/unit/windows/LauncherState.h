#pragma once
// The launcher's process-wide state, reset in one place: every fixture of the window tests
// calls ResetLauncherState in SetUp and TearDown, so that no case sees what another left.
#include "TestSeams.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/headless/Headless.h"
#include "platform/Platform.h"
#include "settings/allparam.h"
#include "windows/Balloon.h"

namespace testseams {

/// The state of a program that has just assigned its settings: no record (ShareCode), no
/// mirror list, home page or first mirror; no balloon and the program's own balloon wait; no
/// released form or terminate request, the headless clock at 0 with nothing posted and no
/// modal hook; the program's bitmaps registered and the shell record empty.
inline void ResetLauncherState() {
  ResetBalloons();
  SetBalloonWait(nullptr);
  gui::headless::Reset();
  ShareCode.reset();
  MirrorList.clear();
  HomePageUrl.clear();
  FirstMirrorUrl.clear();
  AssignSettings();
  RegisterProgramBitmaps();
  platform::TakeShellLog();
}

}  // namespace testseams
