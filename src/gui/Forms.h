#pragma once
// Forms, modal loops, and the application object with its error box for handler errors.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/Controls.h"
#include "gui/StdCtrls.h"

class TMessage;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum TFormStyle { fsNormal, fsStayOnTop };

namespace gui {
// The window system's numbers (checked against its headers in the win32 build).
// Window style bits.
constexpr std::uint32_t kWsPopup = 0x80000000u;
constexpr std::uint32_t kWsBorder = 0x00800000u;
constexpr std::uint32_t kWsDlgFrame = 0x00400000u;
constexpr std::uint32_t kWsCaption = 0x00C00000u;
constexpr std::uint32_t kWsSysMenu = 0x00080000u;
constexpr std::uint32_t kWsThickFrame = 0x00040000u;
constexpr std::uint32_t kWsMinimizeBox = 0x00020000u;
constexpr std::uint32_t kWsMaximizeBox = 0x00010000u;
constexpr std::uint32_t kWsClipChildren = 0x02000000u;
constexpr std::uint32_t kWsExTopmost = 0x00000008u;
constexpr std::uint32_t kWsExToolWindow = 0x00000080u;
constexpr std::uint32_t kWsExNoActivate = 0x08000000u;
/// WndParent value that names the desktop window (a number of ours).
constexpr std::intptr_t kDesktopWindow = -100;
// Show commands.
constexpr int kSwHide = 0;
constexpr int kSwShowNoActivate = 4;
constexpr int kSwShow = 5;
// Z-order placement.
constexpr std::intptr_t kHwndTopmost = -1;
constexpr unsigned kSwpNoSize = 0x0001, kSwpNoMove = 0x0002, kSwpNoActivate = 0x0010;
// Window messages a message filter may see.
constexpr unsigned kWmSize = 0x0005;
constexpr unsigned kSizeMinimized = 1;
// Message box flags and results.
constexpr unsigned kMbOk = 0x0000, kMbIconError = 0x0010;
constexpr int kIdOk = 1;
}  // namespace gui

/// The parameters a form's window is created with.
struct TCreateParams {
  std::uint32_t Style = 0;
  std::uint32_t ExStyle = 0;
  /// 0: no parent; gui::kDesktopWindow: the desktop window; else a native window (a form's
  /// owner: by default the application's window).
  std::intptr_t WndParent = 0;
};

/// A message as a form's window receives it.
class TMessage {
 public:
  unsigned Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

class TForm : public TControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  TControlKind Kind() const override { return TControlKind::Form; }

  /// Width and Height are the outer size; the client size follows from the border.
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int w);
  void SetClientHeight(int h);
  /// The design's client size (96 pixels per inch): the client area is this, scaled, and the
  /// outer size follows from the frame at the form's resolution.
  void SetDesignClientSize(int width, int height);
  /// Lays the form out again for a new resolution from its design: bounds, fonts, pictures.
  void ChangeScale(int pixelsPerInch);
  /// The same, moved to a new monitor: the form then takes the bounds the system proposes
  /// (unless it is laid out for that resolution already).
  void ChangeScale(int pixelsPerInch, const TRect& suggested);
  /// The control that Enter presses (a default button); nullptr: none.
  TControl* DefaultControl() const { return defaultControl_; }
  void SetDefaultControl(TControl* c) { defaultControl_ = c; }
  /// The keys of a dialog: Enter presses the default control, Esc closes the form.
  void PressEnter();
  void PressEscape();
  void SetBounds(int left, int top, int width, int height) override;
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* m) { popupMenu_ = m; }

  /// The controls that take the focus (TabStop, visible and enabled, on shown parents), in
  /// the order Tab visits them: each container's by TabOrder, a container's own before the
  /// next control of its parent.
  std::vector<TControl*> TabList() const;
  /// The control that has the keyboard focus; nullptr when none has.
  TControl* ActiveControl() const { return activeControl_; }
  /// Focuses the first control of the tab order (ShowModal does, when the form opens).
  void SelectFirst();
  /// Moves the focus to the next control of the tab order (forward: Tab) or the one before
  /// (Shift+Tab), around the end.
  void SelectNext(bool forward);

  /// Shows the form and runs its modal loop until ModalResult is set (Close sets mrCancel)
  /// or the application terminates; hides it again and returns the result.
  int ShowModal();
  bool Modal() const { return modal_; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r);
  /// Closes the form as its title-bar button does: ends a modal loop, else hides.
  void Close();
  void SetVisible(bool v) override;
  /// Shows the window without activating it (SW_SHOWNOACTIVATE); Visible becomes true.
  void ShowNoActivate();
  /// Places the window in the z-order (gui::kHwndTopmost) with SetWindowPos flags.
  void SetZOrder(std::intptr_t insertAfter, unsigned flags);
  /// Gives the window a region (its shape); an empty region restores the rectangle.
  void SetWindowRegion(const TWindowRegion& region, bool redraw = true);
  const TWindowRegion& WindowRegion() const { return region_; }
  /// Releases the form: it is hidden now and deleted when the message loop next runs.
  /// Works for a form owned by another component; an unowned one is given to the
  /// application with TApplication::ReleaseForm.
  void Release();

  /// The parameters the window is created with; override to adjust them (call the base).
  virtual void CreateParams(TCreateParams& params);
  /// Called by a form class at the end of its constructor: runs OnCreate; an error in it
  /// goes to the application's error box.
  void Loaded();

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  std::function<void(TCanvas&)> OnPaint;
  /// Sees every message of the form's window before its normal processing.
  std::function<void(TMessage&)> OnWindowMessage;

  /// Live forms in the process (for checks that released forms are gone).
  static int InstanceCount();

 protected:
  int OwnPixelsPerInch() const override { return pixelsPerInch_; }
  void ScaleChanged() override;
  void Realised() override;

 private:
  int pixelsPerInch_;
  bool designClient_ = false;
  int designClientWidth_ = 0, designClientHeight_ = 0;
  TControl* defaultControl_ = nullptr;
  TBorderStyle borderStyle_ = bsSizeable;
  TFormStyle formStyle_ = fsNormal;
  TPopupMenu* popupMenu_ = nullptr;
  TWindowRegion region_;
  int modalResult_ = mrNone;
  bool modal_ = false;
  TControl* activeControl_ = nullptr;
  void Focus(TControl* control);
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t);
  /// Handles every pending message, then returns.
  void ProcessMessages();
  /// Asks the application to end: modal loops end, Run returns.
  void Terminate();
  bool Terminated() const { return terminated_; }
  /// Clears the terminate request (tests that run several flows in one process).
  void ResetTerminated() { terminated_ = false; }
  /// A run nobody watches: no form, box or balloon is put on the screen, while everything
  /// else (the forms' state, their handlers, modal loops and timers) runs as it would shown;
  /// a message box's text goes to the run's log and the box answers with its first button.
  bool Quiet() const { return quiet_; }
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  /// The main loop. With no main window it returns at once.
  void Run();
  /// The innermost form whose modal loop runs; nullptr when none does.
  TForm* ModalForm() const;
  /// Whether a wait of the window thread (a request in flight) is still wanted: not once the
  /// application is ending or a form whose modal loop runs has been closed, since the work
  /// waited for belongs to that window and nothing of it may go on.
  bool WaitWanted() const;
  /// Shows the error box for an error that left an event handler: its message with
  /// ErrorBoxText's rule, the title as caption, the error icon and an OK button.
  void HandleException(const std::exception& e);
  /// The same for an error of ours: its message for a person, paths and system texts whole.
  void HandleException(const Exception& e);
  /// The error box with this text (ErrorBoxText's rule applied to its end).
  void ShowErrorBox(const TDisplayText& text);
  /// A message box; the text is composed in UTF-16, so every part of it shows in full.
  int MessageBox(const TDisplayText& text, const std::string& caption, unsigned flags);
  /// The application's own window: the program's task-bar entry, titled with Title, owner
  /// of the forms, shell calls and message boxes.
  std::intptr_t Handle();
  /// Hides the form now and deletes it when the message loop next runs.
  void ReleaseForm(std::unique_ptr<TForm> form);
  /// Deletes the released forms (the message loops call it).
  void DeleteReleasedForms();
  int ReleasedFormCount() const { return static_cast<int>(released_.size()); }

 private:
  std::string title_;
  bool terminated_ = false;
  bool quiet_ = false;
  std::vector<std::unique_ptr<TForm>> released_;
};

/// The one application object; it owns the windows created with it as owner.
extern TApplication* const Application;

namespace gui {
/// Runs an event handler; an error that leaves it is shown in the application's error box.
void CallHandler(const std::function<void()>& handler);
}  // namespace gui
