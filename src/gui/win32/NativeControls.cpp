// The system's controls: the check box (a BUTTON) and the progress bar (common controls).
#include <string>

#include "gui/win32/Peers.h"

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
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return SetThemeFn(nullptr);
    HMODULE ux = LoadLibraryW((std::wstring(dir, n) + L"\\uxtheme.dll").c_str());  // kept for the run
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

}  // namespace

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
