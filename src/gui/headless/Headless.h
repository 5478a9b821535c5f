#pragma once
// The headless toolkit backend: windows live in memory, time is a virtual clock, and tests
// post the user's actions and read back what the windows did.
//
// Time moves only inside message loops: a modal loop (or RunUntil/RunFor) runs the posted
// actions and timer ticks in order of their virtual time, jumping the clock forward to the
// next one. A loop with nothing left that could ever happen ends (LoopEnd::Idle) instead of
// hanging, and so does one that runs past ten minutes of virtual time (LoopEnd::TimeLimit).
//
// Text metrics are fixed: an ASCII character is half the font's pixel height wide (rounded
// up), a double-byte character the full height; a line is the pixel height tall.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/Forms.h"

namespace gui::headless {

std::uint64_t Now();
/// Back to time 0 with no posted actions, records, modal hooks or terminate request.
void Reset();

/// Runs `action` in the message loop `delayMs` after now (errors go to the error box).
void Post(std::function<void()> action, std::uint64_t delayMs = 0);
void PostClick(TControl& control, std::uint64_t delayMs = 0);
void PostMouseDown(TControl& control, TMouseButton button, int x, int y, std::uint64_t delayMs = 0);
/// The user closes the form (its close button, Alt+F4, WM_CLOSE); a wait on the window thread
/// takes it too (gui::ProcessWhileWaiting), as the win32 backend does.
void PostClose(TForm& form, std::uint64_t delayMs = 0);
/// The task bar's "Close window" on the program's button: the innermost modal form is closed
/// as its own close button closes it; taken inside a wait too.
void PostTaskBarClose(std::uint64_t delayMs = 0);
/// Time passing inside a wait of the window thread (a request in flight): the clock moves and
/// nothing runs; the wait's while-waiting processing takes the closes due by then.
void AdvanceClock(std::uint64_t ms);
/// The system minimises the form's window: its message filter sees WM_SIZE/SIZE_MINIMIZED.
void PostMinimize(TForm& form, std::uint64_t delayMs = 0);
void PostMenuClick(TMenuItem& item, std::uint64_t delayMs = 0);
/// Keys the user presses in a form, as the win32 backend handles them: Tab and Shift+Tab move
/// the focus along the tab order, Space clicks the focused check box, Enter presses the default
/// control, Esc closes the form.
enum class Key { Tab, ShiftTab, Space, Enter, Escape };
void PostKey(TForm& form, Key key, std::uint64_t delayMs = 0);
/// Sends a message to the form's window now: its message filter, then normal processing.
void SendWindowMessage(TForm& form, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

/// The resolution of the virtual screen: forms created from now on start at it (96 after Reset).
void SetScreenPixelsPerInch(int pixelsPerInch);

/// Runs the next thing due (a posted action or a timer tick), moving the clock to it.
/// False when nothing is left that could ever happen.
bool Step();
/// Steps until `done` is true (true) or nothing is left / `maxMs` of virtual time passed (false).
bool RunUntil(const std::function<bool()>& done, std::uint64_t maxMs = 600000);
/// Runs everything due within the next `ms` of virtual time; the clock ends at now + ms.
void RunFor(std::uint64_t ms);
/// The next modal loop calls `hook` with its form once the form is shown, before looping.
/// From the hook a test may Step/RunUntil, inspect, and post actions.
void WhenModal(std::function<void(TForm&)> hook);

enum class LoopEnd { None, ModalResult, Terminated, Idle, TimeLimit };
/// Calls of the window thread's while-waiting processing (gui/Backend.h) since the start.
int WhileWaitingCalls();

/// How the most recent modal loop ended.
LoopEnd LastLoopEnd();

struct MessageBoxRecord {
  std::string text, caption;  // texts of the program (a path in the text through PathText's rule)
  unsigned flags = 0;
  std::string whole;  // the text in the platform's form: every path and system text whole
};
const std::vector<MessageBoxRecord>& MessageBoxes();

struct ZOrderCall {
  std::intptr_t insertAfter = 0;
  unsigned flags = 0;
};
/// What happened to a form's window.
struct WindowRecord {
  bool created = false;
  TCreateParams params;           // as the window was created
  std::vector<int> showCommands;  // kSwShow, kSwShowNoActivate, kSwHide in order
  int activations = 0;            // shows that activated the window
  std::vector<ZOrderCall> zOrder;
  int regionChanges = 0;
  std::vector<TMessage> messages;  // messages sent to the window
};
/// The record of a form (an empty record when it never had a window).
WindowRecord Record(const TForm& form);

/// One drawing operation of a paint handler.
struct PaintOp {
  enum Kind { FrameRegion, Draw, FillRect, Text } kind = Draw;
  TColor color = 0;
  int x = 0, y = 0, w = 0, h = 0;
  const TBitmap* bitmap = nullptr;
  std::string text;
};
/// Paints the form: runs OnPaint on a canvas that records what it draws.
std::vector<PaintOp> Paint(TForm& form);

}  // namespace gui::headless
