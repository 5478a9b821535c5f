// A form: a top-level container window with its creation parameters, paint handler, message
// filter, pop-up menu, region and modal loop.
#include <vector>

#include "gui/win32/Peers.h"

namespace gui::win32 {
namespace {

// Sent when the window moved to a monitor of another resolution (Windows 8.1 and later; the
// headers of the Windows 7 target leave it out).
constexpr UINT kWmDpiChanged = 0x02E0;

// The forms whose modal loops run, innermost last.
std::vector<TForm*>& ModalForms() {
  static std::vector<TForm*> forms;
  return forms;
}

BOOL CALLBACK DisableOther(HWND h, LPARAM lp) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(lp);
  LONG ex = GetWindowLongW(h, GWL_EXSTYLE);
  if (h != list->front() && IsWindowVisible(h) && IsWindowEnabled(h) && !(ex & WS_EX_NOACTIVATE)) {
    EnableWindow(h, FALSE);
    list->push_back(h);
  }
  return TRUE;
}

class FormWindowPeer : public ContainerPeer, public FormPeer {
 public:
  explicit FormWindowPeer(TForm& f) : ContainerPeer(f), form_(f) {}
  FormPeer* AsForm() override { return this; }

  void BoundsChanged() override {
    if (!syncing_) ContainerPeer::BoundsChanged();
  }
  void VisibleChanged() override { ShowWindow(hwnd_, form_.Visible() ? SW_SHOW : SW_HIDE); }
  void Show(int cmd) override { ShowWindow(hwnd_, cmd); }
  void SetZOrder(std::intptr_t after, unsigned flags) override {
    SetWindowPos(hwnd_, reinterpret_cast<HWND>(after), 0, 0, 0, 0, flags);
  }
  void RegionChanged(bool redraw) override;
  void RunModalLoop() override;
  void Wake() override { PostMessageW(hwnd_, WM_NULL, 0, 0); }
  int PixelsPerInch() override { return WindowPixelsPerInch(hwnd_); }
  LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  void GetParams(WindowParams& p) override {
    TCreateParams cp;
    form_.CreateParams(cp);
    p.ClassName = kFormClass;
    p.Style = cp.Style & ~static_cast<DWORD>(WS_VISIBLE);
    p.ExStyle = cp.ExStyle;
    p.Parent = cp.WndParent == kDesktopWindow ? GetDesktopWindow() : reinterpret_cast<HWND>(cp.WndParent);
  }
  void PaintOwn(HDC dc) override {
    if (!form_.OnPaint) return;
    Win32Canvas canvas(dc, hwnd_);
    CallHandler([&] { form_.OnPaint(canvas); });
  }

 private:
  void PopupMenu();
  TForm& form_;
  bool syncing_ = false;  // the form takes its bounds from its window
};

void FormWindowPeer::RegionChanged(bool redraw) {
  HRGN all = nullptr;
  for (const TRegionShape& s : form_.WindowRegion().Shapes) {
    HRGN r = nullptr;
    if (s.kind == TRegionShape::RoundRect) {
      r = CreateRoundRectRgn(s.X1, s.Y1, s.X2, s.Y2, s.EllipseW, s.EllipseH);
    } else {
      std::vector<POINT> pts;
      for (const TPoint& p : s.Points) pts.push_back({p.X, p.Y});
      r = CreatePolygonRgn(pts.data(), static_cast<int>(pts.size()), s.Winding ? WINDING : ALTERNATE);
    }
    if (!r) continue;
    if (!all) {
      all = r;
    } else {
      CombineRgn(all, all, r, RGN_OR);
      DeleteObject(r);
    }
  }
  // The window owns the region from here on.
  if (!SetWindowRgn(hwnd_, all, redraw ? TRUE : FALSE) && all) DeleteObject(all);
}

void FormWindowPeer::RunModalLoop() {
  std::vector<HWND> disabled{hwnd_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&disabled));
  SetForegroundWindow(hwnd_);
  ModalForms().push_back(&form_);
  HWND self = hwnd_;
  while (form_.ModalResult() == mrNone && !Application->Terminated()) {
    MSG m;
    BOOL r = GetMessageW(&m, nullptr, 0, 0);
    if (r <= 0) {
      Application->Terminate();
      break;
    }
    Dispatch(m);
    Application->DeleteReleasedForms();
    if (!IsWindow(self)) break;
  }
  ModalForms().pop_back();
  for (size_t i = 1; i < disabled.size(); ++i) EnableWindow(disabled[i], TRUE);
}

// The menu at the pointer; a panel's window passes its right clicks up to here.
void FormWindowPeer::PopupMenu() {
  const auto& items = form_.PopupMenu()->Items();
  HMENU menu = CreatePopupMenu();
  for (size_t i = 0; i < items.size(); ++i) AppendMenuW(menu, MF_STRING, i + 1, Wide(items[i]->Caption).c_str());
  POINT pt;
  GetCursorPos(&pt);
  int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
  DestroyMenu(menu);
  if (chosen > 0) {
    TMenuItem* item = items[static_cast<size_t>(chosen - 1)];
    CallHandler([item] { item->Click(); });
  }
}

LRESULT FormWindowPeer::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  if (form_.OnWindowMessage) {
    TMessage m;
    m.Msg = msg;
    m.WParam = wp;
    m.LParam = lp;
    CallHandler([&] { form_.OnWindowMessage(m); });
  }
  switch (msg) {
    case WM_CONTEXTMENU:
      if (!form_.PopupMenu() || form_.PopupMenu()->Items().empty()) break;
      PopupMenu();
      return 0;
    case WM_CLOSE: CallHandler([&] { form_.Close(); }); return 0;
    case kWmDpiChanged: {
      // Moved to a monitor of another scale: the system proposes the bounds; the layout,
      // fonts and pictures follow the new resolution.
      const RECT* r = reinterpret_cast<const RECT*>(lp);
      CallHandler([&] { form_.ChangeScale(HIWORD(wp), {r->left, r->top, r->right, r->bottom}); });
      return 0;
    }
    case WM_ACTIVATE: CallHandler(LOWORD(wp) == WA_INACTIVE ? form_.OnDeactivate : form_.OnActivate); break;
    case WM_SETFOCUS:
      // Activated again: the focus goes back to the control that had it.
      if (TControl* active = form_.ActiveControl(); active && active->Peer()) {
        active->Peer()->SetFocus();
        return 0;
      }
      break;
    case WM_SIZE:
    case WM_MOVE:
      if (!IsIconic(hwnd_)) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        syncing_ = true;
        CallHandler([&] { form_.SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); });
        syncing_ = false;
      }
      break;
    default: break;
  }
  return ContainerPeer::Proc(msg, wp, lp);
}

}  // namespace

TForm* ModalForm() { return ModalForms().empty() ? nullptr : ModalForms().back(); }

void Dispatch(MSG& m) {
  // Tab and Shift+Tab in the modal form move the focus along its tab order.
  TForm* form = ModalForm();
  HWND formWindow = form && form->HandleAllocated() ? reinterpret_cast<HWND>(form->Handle()) : nullptr;
  if (m.message == WM_KEYDOWN && formWindow && (m.hwnd == formWindow || IsChild(formWindow, m.hwnd))) {
    switch (m.wParam) {
      case VK_TAB: CallHandler([form] { form->SelectNext(GetKeyState(VK_SHIFT) >= 0); }); return;
      // The keys of a dialog: Enter presses the default button, Esc is the close button.
      case VK_RETURN: CallHandler([form] { form->PressEnter(); }); return;
      case VK_ESCAPE: CallHandler([form] { form->PressEscape(); }); return;
      default: break;
    }
  }
  TranslateMessage(&m);
  DispatchMessageW(&m);
}

std::unique_ptr<ControlPeer> NewFormPeer(TForm& form) {
  auto peer = std::make_unique<FormWindowPeer>(form);
  peer->Create();
  return peer;
}

}  // namespace gui::win32
