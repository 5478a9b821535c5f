// The win32 backend: the peer of each control kind (one entry per kind; each peer class or
// painter in a file of its own), text measures, the message pump, message boxes and the
// application window.
#include "gui/win32/Peers.h"

namespace gui::win32 {
namespace {

class Win32Backend : public Backend {
 public:
  std::unique_ptr<ControlPeer> CreatePeer(TControl& c) override {
    std::unique_ptr<ControlPeer> peer;
    switch (c.Kind()) {  // no default: a kind left out is named by the compiler
      case TControlKind::Form: peer = NewFormPeer(static_cast<TForm&>(c)); break;
      case TControlKind::Panel: peer = NewPanelPeer(static_cast<TPanel&>(c)); break;
      case TControlKind::CheckBox: peer = NewCheckBoxPeer(static_cast<TCheckBox&>(c)); break;
      case TControlKind::ProgressBar: peer = NewProgressBarPeer(static_cast<TProgressBar&>(c)); break;
      case TControlKind::Label: peer = std::make_unique<GraphicPeer>(c, PaintLabel); break;
      case TControlKind::Image: peer = std::make_unique<GraphicPeer>(c, PaintImage); break;
      case TControlKind::SpeedButton: peer = NewPictureButtonPeer(static_cast<TSpeedButton&>(c)); break;
    }
    return peer;
  }
  std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& t) override { return NewTimerPeer(t); }
  TextExtent FrameSize(const TCreateParams& p, int ppi) override {
    RECT r{0, 0, 0, 0};
    if (const auto adjust = Dpi().adjustWindowRectExForDpi)
      adjust(&r, p.Style, FALSE, p.ExStyle, static_cast<UINT>(ppi));
    else
      AdjustWindowRectEx(&r, p.Style, FALSE, p.ExStyle);
    return {r.right - r.left, r.bottom - r.top};
  }
  int ScreenPixelsPerInch() override { return SystemPixelsPerInch(); }
  int PixelsPerInchAt(int x, int y) override {
    return MonitorPixelsPerInch(MonitorFromPoint({x, y}, MONITOR_DEFAULTTONEAREST));
  }
  TextExtent MeasureText(const TFont& f, const std::string& text) override {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontFor(f));
    SIZE sz{0, 0};
    const std::wstring wide = Wide(text);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &sz);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {sz.cx, tm.tmHeight};
  }
  void ProcessMessages() override {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        Application->Terminate();
        break;
      }
      Dispatch(m);
    }
  }
  int MessageBox(const TDisplayText& text, const std::string& caption, unsigned flags) override {
    // Owned by the modal form, which the box disables while it is up; never by a window that
    // is disabled already (the application's window during a modal loop), which would leave
    // the form usable under the box.
    HWND owner = nullptr;
    if (TForm* form = ModalForm(); form && form->HandleAllocated()) owner = reinterpret_cast<HWND>(form->Handle());
    if (!owner) owner = GetActiveWindow();
    if (!owner || !IsWindowEnabled(owner)) owner = app_ && IsWindowEnabled(app_) ? app_ : nullptr;
    return MessageBoxW(owner, platform::MessageToWide(text).c_str(), Wide(caption).c_str(), flags | MB_TASKMODAL);
  }
  std::intptr_t ApplicationHandle() override {
    if (!app_) {
      // Shown, but of no size: it is only the program's button in the task bar (the forms it
      // owns have none), with the title as its text and the system menu's minimise.
      RegisterClasses();
      app_ = CreateWindowExW(0, kAppClass, Wide(Application->Title()).c_str(),
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                             GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                             nullptr, Instance(), nullptr);
      if (app_) {
        SetWindowPos(app_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // A quiet run has no task-bar button either.
        if (!Application->Quiet()) ShowWindow(app_, SW_SHOWNOACTIVATE);
      }
    }
    return reinterpret_cast<std::intptr_t>(app_);
  }
  void TitleChanged(const std::string& t) override {
    if (app_) SetWindowTextW(app_, Wide(t).c_str());
  }
  void Wake() override { PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0); }

 private:
  HWND app_ = nullptr;
};

}  // namespace
}  // namespace gui::win32

namespace gui {
Backend& TheBackend() {
  static Backend* backend = new win32::Win32Backend;  // outlives every window
  return *backend;
}
}  // namespace gui
