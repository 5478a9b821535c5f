#pragma once
// The peers of the win32 backend. Each control kind has its peer class or painter in a file
// of its own (Form.cpp, Panel.cpp, NativeControls.cpp, Paint*.cpp); Win32Backend.cpp picks
// it by kind.
//
// Forms and panels are windows of our own classes (containers): they paint the controls
// drawn on them (labels, images) and hand them the mouse. Check boxes, progress bars and
// speed buttons (an owner-drawn button, named by its caption) are the system's controls. One window procedure forwards each message of a
// container to its peer; every window of ours keeps its peer in GWLP_USERDATA.
#include <memory>

#include "gui/Backend.h"
#include "gui/win32/Win32Draw.h"

namespace gui::win32 {

extern const wchar_t kFormClass[];
extern const wchar_t kPanelClass[];
extern const wchar_t kAppClass[];
HINSTANCE Instance();
/// Registers our window classes (once).
void RegisterClasses();
/// The form whose modal loop runs innermost; nullptr when none runs.
TForm* ModalForm();
/// Hands a message of the queue on: a Tab key of the modal form moves its focus, anything
/// else is translated and dispatched.
void Dispatch(MSG& m);

/// The resolution calls of user32 that only newer systems have (Windows 10 1607), bound at run
/// time; null where the system has none of them.
struct DpiFunctions {
  UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
};
const DpiFunctions& Dpi();
/// The system's resolution (the primary monitor's, and every monitor's before per-monitor
/// resolutions).
int SystemPixelsPerInch();
/// The resolution of the monitor a window is on.
int WindowPixelsPerInch(HWND window);
/// The resolution of a monitor (the system's before Windows 8.1). Only the balloon asks, at the
/// point it is shown at: shcore.dll is loaded then, not with the first window.
int MonitorPixelsPerInch(HMONITOR monitor);

/// How a control's window is created.
struct WindowParams {
  const wchar_t* ClassName = nullptr;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  HWND Parent = nullptr;
};

/// A control with a window of its own.
class WindowPeer : public ControlPeer {
 public:
  explicit WindowPeer(TControl& c) : control_(c) {}
  ~WindowPeer() override;
  WindowPeer(const WindowPeer&) = delete;
  WindowPeer& operator=(const WindowPeer&) = delete;
  /// Creates the window; called once, right after construction.
  void Create();

  std::intptr_t Handle() override { return reinterpret_cast<std::intptr_t>(hwnd_); }
  void BoundsChanged() override;
  void VisibleChanged() override;
  void AppearanceChanged() override;
  void Invalidate() override { InvalidateRect(hwnd_, nullptr, TRUE); }
  void SetFocus() override;

  TControl& control() { return control_; }
  /// A brush of the control's colour (its background), made on first use after a change.
  HBRUSH Brush();
  /// Shows the hint of a control drawn on this window as a tooltip over it, or no tooltip
  /// when it is hidden or has no hint to show.
  void UpdateTool(TControl& child);
  /// A notification (WM_COMMAND code) of this control's window to its parent; true when
  /// the control acted on it.
  virtual bool Notify(WORD) { return false; }
  /// Draws an owner-drawn control (WM_DRAWITEM to its parent); true when it did.
  virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }

 protected:
  /// The window class, styles and parent; `p` comes with a child window's style (visible
  /// when the control is) and the parent control's window.
  virtual void GetParams(WindowParams& p) = 0;
  /// Brings the window up to date with the control (by default: its text).
  virtual void Update();
  /// Gives the window a text of the program, unless it has it already.
  void SetText(const std::string& text);

  TControl& control_;
  HWND hwnd_ = nullptr;

 private:
  HWND tips_ = nullptr;
  HBRUSH brush_ = nullptr;
};

/// The peer of a window a peer created (nullptr for any other window).
WindowPeer* PeerOf(HWND h);

/// A window of our classes that holds, paints and routes the mouse to drawn controls.
class ContainerPeer : public WindowPeer {
 public:
  using WindowPeer::WindowPeer;
  /// A message of the window (the window procedure's work).
  virtual LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);

 protected:
  /// The background under the children.
  virtual void EraseBackground(HDC dc, const RECT& client);
  /// What the container draws itself, before its drawn controls.
  virtual void PaintOwn(HDC) {}

 private:
  TControl* GraphicChildAt(int x, int y);
  void PaintChildren(HDC dc);
  void Mouse(UINT msg, WPARAM wp, int x, int y);
  TControl* pressed_ = nullptr;
};

/// Draws a control on its container's device context, clipped to `bounds` (its rectangle
/// there); `pressed` while the left button went down on it and is still held.
using Painter = void (*)(HDC dc, TControl& control, const TRect& bounds, bool pressed);
void PaintLabel(HDC dc, TControl& label, const TRect& bounds, bool pressed);
void PaintImage(HDC dc, TControl& image, const TRect& bounds, bool pressed);
void PaintSpeedButton(HDC dc, TControl& button, const TRect& bounds, bool pressed);

/// A control drawn by the container it is placed on, with the painter of its kind. Its hint
/// is a tooltip of the container.
class GraphicPeer final : public ControlPeer {
 public:
  GraphicPeer(TControl& c, Painter paint);
  ~GraphicPeer() override { InvalidateParent(rect_); }
  GraphicPeer(const GraphicPeer&) = delete;
  GraphicPeer& operator=(const GraphicPeer&) = delete;
  void BoundsChanged() override;
  void VisibleChanged() override { AppearanceChanged(); }
  void AppearanceChanged() override;
  void Invalidate() override { InvalidateParent(control_.BoundsRect()); }
  void Paint(HDC dc, const TRect& bounds, bool pressed) { paint_(dc, control_, bounds, pressed); }

 private:
  void InvalidateParent(const TRect& r);
  TControl& control_;
  Painter paint_;
  TRect rect_;
};

// The peer of each windowed kind, with its window created.
std::unique_ptr<ControlPeer> NewFormPeer(TForm& form);
std::unique_ptr<ControlPeer> NewPanelPeer(TPanel& panel);
std::unique_ptr<ControlPeer> NewCheckBoxPeer(TCheckBox& box);
std::unique_ptr<ControlPeer> NewProgressBarPeer(TProgressBar& bar);
std::unique_ptr<ControlPeer> NewPictureButtonPeer(TSpeedButton& button);
std::unique_ptr<TimerPeer> NewTimerPeer(TTimer& timer);

}  // namespace gui::win32
