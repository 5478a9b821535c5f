#pragma once
// What a toolkit backend provides. The portable classes keep every property; a peer
// realises one control (a native window, or a record in the headless backend) and is told
// when something changed. Exactly one backend library (gui/win32 or gui/headless) is linked
// into a program; it defines TheBackend().
#include <cstdint>
#include <memory>
#include <string>

#include "gui/Forms.h"

namespace gui {

class FormPeer;

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  /// The form operations when this peer realises a form, else nullptr.
  virtual FormPeer* AsForm() { return nullptr; }
  virtual std::intptr_t Handle() { return 0; }
  virtual void BoundsChanged() {}
  virtual void VisibleChanged() {}
  /// Text, colour, font, picture, tick, position or enabled state changed.
  virtual void AppearanceChanged() {}
  virtual void Invalidate() {}
  /// The control takes the keyboard focus.
  virtual void SetFocus() {}
};

/// What a form's peer does beyond a control's.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual void Show(int showCommand) = 0;
  virtual void SetZOrder(std::intptr_t insertAfter, unsigned flags) = 0;
  virtual void RegionChanged(bool redraw) = 0;
  /// Runs the modal loop of the form until it ends (ModalResult or terminate).
  virtual void RunModalLoop() = 0;
  /// Wakes a waiting modal loop so that it sees a changed ModalResult.
  virtual void Wake() {}
  /// The resolution of the monitor the window is on; 0 when unknown.
  virtual int PixelsPerInch() { return 0; }
};

class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  /// Enabled or interval changed.
  virtual void Update() = 0;
};

struct TextExtent {
  int cx = 0, cy = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::unique_ptr<ControlPeer> CreatePeer(TControl& control) = 0;
  virtual std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& timer) = 0;
  /// The outer size minus the client size for a form with these creation parameters, at a
  /// resolution.
  virtual TextExtent FrameSize(const TCreateParams& params, int pixelsPerInch) = 0;
  /// The resolution new windows start at (the system's, of the primary monitor).
  virtual int ScreenPixelsPerInch() { return gui::kDesignPixelsPerInch; }
  /// The resolution of the monitor that holds a screen point (the nearest one).
  virtual int PixelsPerInchAt(int /*x*/, int /*y*/) { return ScreenPixelsPerInch(); }
  virtual TextExtent MeasureText(const TFont& font, const std::string& text) = 0;
  virtual void ProcessMessages() = 0;
  virtual int MessageBox(const TDisplayText& text, const std::string& caption, unsigned flags) = 0;
  virtual std::intptr_t ApplicationHandle() = 0;
  virtual void TitleChanged(const std::string&) {}
  /// Wakes a message loop waiting for input (after a terminate request).
  virtual void Wake() {}
};

Backend& TheBackend();

/// The window thread's part of a long wait (base/WhileWaiting.h; the application installs it
/// as its thread's hook): handles the messages that other programs and the system send to the
/// windows, and their paint requests, so that the windows answer and repaint while the thread
/// waits; and the user's close of a window (its close button, Alt+F4, the task bar), so that
/// the wait can end. No other input, timer or posted message is taken, so no other event
/// handler runs: the work that waits is never entered a second time. Defined by the backend,
/// as TheBackend is.
void ProcessWhileWaiting();

}  // namespace gui
