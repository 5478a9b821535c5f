// The system's controls: the check box (a BUTTON) and the progress bar (common controls).
#include "gui/win32/Peers.h"

#include <commctrl.h>  // after <windows.h>

namespace gui::win32 {
namespace {

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
    p.ClassName = "BUTTON";
    p.Style |= BS_CHECKBOX | WS_TABSTOP;
  }
  void Update() override {
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(box_.Font())), FALSE);
    SendMessageA(hwnd_, BM_SETCHECK, box_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    SetWindowTextA(hwnd_, box_.Caption().c_str());
  }

 private:
  TCheckBox& box_;
};

class ProgressBarPeer : public WindowPeer {
 public:
  explicit ProgressBarPeer(TProgressBar& b) : WindowPeer(b), bar_(b) {}

 protected:
  void GetParams(WindowParams& p) override { p.ClassName = PROGRESS_CLASSA; }
  void Update() override {
    SendMessageA(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(bar_.Min()), static_cast<LPARAM>(bar_.Max()));
    SendMessageA(hwnd_, PBM_SETSTEP, static_cast<WPARAM>(bar_.Step()), 0);
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(bar_.Position()), 0);
  }

 private:
  TProgressBar& bar_;
};

}  // namespace

std::unique_ptr<ControlPeer> NewCheckBoxPeer(TCheckBox& box) {
  auto peer = std::make_unique<CheckBoxPeer>(box);
  peer->Create();
  return peer;
}

std::unique_ptr<ControlPeer> NewProgressBarPeer(TProgressBar& bar) {
  auto peer = std::make_unique<ProgressBarPeer>(bar);
  peer->Create();
  return peer;
}

}  // namespace gui::win32
