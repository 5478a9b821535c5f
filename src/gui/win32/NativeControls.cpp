// The system's controls: the check box (a BUTTON), the progress bar (common controls) and the
// speed button (an owner-drawn BUTTON).
#include <string>

#include "gui/win32/Peers.h"
#include "platform/SystemLibrary.h"

#include <commctrl.h>  // after <windows.h>

namespace gui::win32 {
namespace {

/// Draws the window without visual styles. A themed check box (common controls 6 under a
/// visual style) draws its text in the theme's colour and ignores the one the parent gives
/// with WM_CTLCOLORSTATIC; the classic one honours it. uxtheme.dll is loaded at run time
/// from the system folder only (it is missing before Windows XP, and so are visual styles).
void DropVisualStyle(HWND h) {
  using SetThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static const SetThemeFn setTheme = [] {
    HMODULE ux = static_cast<HMODULE>(platform::LoadSystemLibrary(L"uxtheme.dll"));
    return ux ? reinterpret_cast<SetThemeFn>(reinterpret_cast<void*>(GetProcAddress(ux, "SetWindowTheme")))
              : SetThemeFn(nullptr);
  }();
  if (setTheme) setTheme(h, L"", L"");
}

class CheckBoxPeer : public WindowPeer {
 public:
  explicit CheckBoxPeer(TCheckBox& b) : WindowPeer(b), box_(b) {}
  bool Notify(WORD code) override {
    if (code != BN_CLICKED) return false;
    CallHandler([this] { box_.Click(); });
    return true;
  }

 protected:
  void GetParams(WindowParams& p) override {
    p.ClassName = L"BUTTON";
    p.Style |= BS_CHECKBOX | WS_TABSTOP;
  }
  void Update() override {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(box_.Font())), FALSE);
    SendMessageW(hwnd_, BM_SETCHECK, box_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    SetText(box_.Caption());
  }

 private:
  TCheckBox& box_;
};

class ProgressBarPeer : public WindowPeer {
 public:
  explicit ProgressBarPeer(TProgressBar& b) : WindowPeer(b), bar_(b) {}

 protected:
  void GetParams(WindowParams& p) override { p.ClassName = PROGRESS_CLASSW; }
  void Update() override {
    SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(bar_.Min()), static_cast<LPARAM>(bar_.Max()));
    SendMessageW(hwnd_, PBM_SETSTEP, static_cast<WPARAM>(bar_.Step()), 0);
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(bar_.Position()), 0);
  }

 private:
  TProgressBar& bar_;
};

// A picture button: the system's button, so that screen readers meet a push button named by
// its caption and a click, Space or a screen reader's "press" reaches OnClick; its face is
// drawn by us (WM_DRAWITEM), as the picture alone on the parent's colour.
class PictureButtonPeer : public WindowPeer {
 public:
  explicit PictureButtonPeer(TSpeedButton& b) : WindowPeer(b), button_(b) {}
  bool Notify(WORD code) override {
    // A quick second press comes as a double click: it is a click all the same.
    if (code != BN_CLICKED && code != BN_DOUBLECLICKED) return false;
    if (button_.Enabled()) CallHandler([this] { button_.Click(); });
    return true;
  }
  bool DrawItem(const DRAWITEMSTRUCT& d) override {
    ::FillRect(d.hDC, &d.rcItem, Brush());
    const TRect bounds{d.rcItem.left, d.rcItem.top, d.rcItem.right, d.rcItem.bottom};
    PaintSpeedButton(d.hDC, button_, bounds, (d.itemState & ODS_SELECTED) != 0);
    return true;
  }

 protected:
  void GetParams(WindowParams& p) override {
    p.ClassName = L"BUTTON";
    p.Style |= BS_OWNERDRAW;
  }
  void Update() override {
    SetText(button_.Caption());
    if (TControl* parent = button_.Parent(); parent && parent->Peer())
      static_cast<WindowPeer*>(parent->Peer())->UpdateTool(button_);
  }

 private:
  TSpeedButton& button_;
};

}  // namespace

std::unique_ptr<ControlPeer> NewPictureButtonPeer(TSpeedButton& button) {
  auto peer = std::make_unique<PictureButtonPeer>(button);
  peer->Create();
  return peer;
}

std::unique_ptr<ControlPeer> NewCheckBoxPeer(TCheckBox& box) {
  auto peer = std::make_unique<CheckBoxPeer>(box);
  peer->Create();
  // Its text keeps the control's font colour with and without visual styles.
  DropVisualStyle(reinterpret_cast<HWND>(peer->Handle()));
  return peer;
}

std::unique_ptr<ControlPeer> NewProgressBarPeer(TProgressBar& bar) {
  auto peer = std::make_unique<ProgressBarPeer>(bar);
  peer->Create();
  return peer;
}

}  // namespace gui::win32
