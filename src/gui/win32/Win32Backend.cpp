// The win32 backend: forms and panels are windows of our own classes that paint their
// labels, images and speed buttons themselves; check boxes and progress bars are the
// system's controls. One window procedure forwards to the peer the window belongs to.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>

#include "gui/win32/Win32Draw.h"
#include "gui/Backend.h"

namespace gui::win32 {
namespace {

const char kFormClass[] = "TQForm";
const char kPanelClass[] = "TQPanel";
const char kAppClass[] = "TQApplication";

LRESULT CALLBACK ContainerProc(HWND, UINT, WPARAM, LPARAM);

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = ContainerProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(1));
  wc.style = CS_DBLCLKS;
  wc.lpszClassName = kFormClass;
  RegisterClassA(&wc);
  wc.hIcon = nullptr;
  wc.lpszClassName = kPanelClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = kAppClass;
  RegisterClassA(&wc);
}

// ---- peers ----------------------------------------------------------------------------

class WindowPeer;
WindowPeer* PeerOf(HWND h) { return reinterpret_cast<WindowPeer*>(GetWindowLongPtrA(h, GWLP_USERDATA)); }
HWND ParentWindow(TControl& c) {
  return c.Parent() && c.Parent()->Peer() ? reinterpret_cast<HWND>(c.Parent()->Peer()->Handle()) : nullptr;
}

// A control drawn by its parent window.
class GraphicPeer : public ControlPeer {
 public:
  explicit GraphicPeer(TControl& c) : control_(c), rect_(c.BoundsRect()) { AppearanceChanged(); }
  ~GraphicPeer() override { InvalidateRectOf(rect_); }
  void BoundsChanged() override {
    InvalidateRectOf(rect_);
    rect_ = control_.BoundsRect();
    Invalidate();
  }
  void VisibleChanged() override { AppearanceChanged(); }
  void AppearanceChanged() override;
  void Invalidate() override { InvalidateRectOf(control_.BoundsRect()); }

 private:
  void InvalidateRectOf(const TRect& r) {
    HWND p = ParentWindow(control_);
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    if (p) InvalidateRect(p, &rc, TRUE);
  }
  TControl& control_;
  TRect rect_;
};

class WindowPeer : public FormPeer {
 public:
  explicit WindowPeer(TControl& c) : control_(c) {}
  ~WindowPeer() override {
    if (tips_) DestroyWindow(tips_);
    if (hwnd_) {
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
    if (brush_) DeleteObject(brush_);
  }
  void Create();
  std::intptr_t Handle() override { return reinterpret_cast<std::intptr_t>(hwnd_); }
  void BoundsChanged() override {
    if (syncing_) return;
    const TControl& c = control_;
    SetWindowPos(hwnd_, nullptr, c.Left(), c.Top(), c.Width(), c.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void VisibleChanged() override {
    if (IsForm()) ShowWindow(hwnd_, control_.Visible() ? SW_SHOW : SW_HIDE);
    else ShowWindow(hwnd_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
  }
  void AppearanceChanged() override;
  void Invalidate() override { InvalidateRect(hwnd_, nullptr, TRUE); }
  void Show(int cmd) override { ShowWindow(hwnd_, cmd); }
  void SetZOrder(std::intptr_t after, unsigned flags) override {
    SetWindowPos(hwnd_, reinterpret_cast<HWND>(after), 0, 0, 0, 0, flags);
  }
  void RegionChanged(bool redraw) override;
  void RunModalLoop() override;
  void Wake() override { PostMessageA(hwnd_, WM_NULL, 0, 0); }

  LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
  TControl& control() { return control_; }
  HBRUSH Brush() {
    if (!brush_) brush_ = CreateSolidBrush(ToColorRef(control_.Color()));
    return brush_;
  }
  void UpdateTool(TControl& child);

 private:
  bool IsForm() const { return control_.Kind() == TControlKind::Form; }
  TForm& form() { return static_cast<TForm&>(control_); }
  TControl* GraphicChildAt(int x, int y);
  void PaintChildren(HDC dc);
  void Mouse(UINT msg, int x, int y);

  TControl& control_;
  HWND hwnd_ = nullptr;
  HWND tips_ = nullptr;
  HBRUSH brush_ = nullptr;
  TControl* pressed_ = nullptr;
  bool syncing_ = false;
};

void GraphicPeer::AppearanceChanged() {
  Invalidate();
  if (control_.Parent() && control_.Parent()->Peer() && control_.Parent()->IsWindowed())
    static_cast<WindowPeer*>(control_.Parent()->Peer())->UpdateTool(control_);
}

void WindowPeer::Create() {
  RegisterClasses();
  TControl& c = control_;
  const char* cls = kPanelClass;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0);
  DWORD ex = 0;
  HWND parent = ParentWindow(c);
  switch (c.Kind()) {
    case TControlKind::Form: {
      TCreateParams p;
      form().CreateParams(p);
      cls = kFormClass;
      style = p.Style & ~static_cast<DWORD>(WS_VISIBLE);
      ex = p.ExStyle;
      parent = p.WndParent == kDesktopWindow ? GetDesktopWindow() : reinterpret_cast<HWND>(p.WndParent);
      break;
    }
    case TControlKind::Panel:
      style |= WS_CLIPCHILDREN;
      break;
    case TControlKind::CheckBox:
      cls = "BUTTON";
      style |= BS_CHECKBOX | WS_TABSTOP;
      break;
    case TControlKind::ProgressBar:
      cls = PROGRESS_CLASSA;
      break;
    default:
      break;
  }
  hwnd_ = CreateWindowExA(ex, cls, c.Caption().c_str(), style, c.Left(), c.Top(), c.Width(), c.Height(), parent,
                          nullptr, Instance(), this);
  if (!hwnd_) return;
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  AppearanceChanged();
}

void WindowPeer::AppearanceChanged() {
  TControl& c = control_;
  if (brush_) {
    DeleteObject(brush_);
    brush_ = nullptr;
  }
  switch (c.Kind()) {
    case TControlKind::ProgressBar: {
      auto& bar = static_cast<TProgressBar&>(c);
      SendMessageA(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(bar.Min()), static_cast<LPARAM>(bar.Max()));
      SendMessageA(hwnd_, PBM_SETSTEP, static_cast<WPARAM>(bar.Step()), 0);
      SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(bar.Position()), 0);
      break;
    }
    case TControlKind::CheckBox:
      SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.Font())), FALSE);
      SendMessageA(hwnd_, BM_SETCHECK, static_cast<TCheckBox&>(c).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      SetWindowTextA(hwnd_, c.Caption().c_str());
      break;
    default: {
      char buf[1024];
      GetWindowTextA(hwnd_, buf, sizeof buf);
      if (c.Caption() != buf) SetWindowTextA(hwnd_, c.Caption().c_str());
      break;
    }
  }
  EnableWindow(hwnd_, c.Enabled());
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void WindowPeer::RegionChanged(bool redraw) {
  const TWindowRegion& region = form().WindowRegion();
  HRGN all = nullptr;
  for (const TRegionShape& s : region.Shapes) {
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

BOOL CALLBACK DisableOther(HWND h, LPARAM lp) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(lp);
  LONG ex = GetWindowLongA(h, GWL_EXSTYLE);
  if (h != list->front() && IsWindowVisible(h) && IsWindowEnabled(h) && !(ex & WS_EX_NOACTIVATE)) {
    EnableWindow(h, FALSE);
    list->push_back(h);
  }
  return TRUE;
}

void WindowPeer::RunModalLoop() {
  std::vector<HWND> disabled{hwnd_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&disabled));
  SetForegroundWindow(hwnd_);
  HWND self = hwnd_;
  while (form().ModalResult() == mrNone && !Application->Terminated()) {
    MSG m;
    BOOL r = GetMessageA(&m, nullptr, 0, 0);
    if (r <= 0) {
      Application->Terminate();
      break;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
    Application->DeleteReleasedForms();
    if (!IsWindow(self)) break;
  }
  for (size_t i = 1; i < disabled.size(); ++i) EnableWindow(disabled[i], TRUE);
}

TControl* WindowPeer::GraphicChildAt(int x, int y) {
  const auto& kids = control_.Controls();
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    TControl* k = *it;
    if (!k->IsWindowed() && k->Visible() && k->BoundsRect().Contains(x, y)) return k;
  }
  return nullptr;
}

void WindowPeer::PaintChildren(HDC dc) {
  for (TControl* k : control_.Controls()) {
    if (k->IsWindowed() || !k->Visible()) continue;
    TRect b = k->BoundsRect();
    int saved = SaveDC(dc);
    IntersectClipRect(dc, b.Left, b.Top, b.Right, b.Bottom);
    switch (k->Kind()) {
      case TControlKind::Label: {
        auto* l = static_cast<TLabel*>(k);
        SelectObject(dc, FontFor(l->Font()));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(l->Font().Color));
        RECT rc{b.Left, b.Top, b.Right, b.Bottom};
        UINT flags = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | (l->WordWrap() ? DT_WORDBREAK : 0);
        DrawTextA(dc, l->Caption().c_str(), static_cast<int>(l->Caption().size()), &rc, flags);
        break;
      }
      case TControlKind::Image: {
        auto* im = static_cast<TImage*>(k);
        DrawBitmap(dc, b.Left, b.Top, im->Picture(), im->Transparent());
        break;
      }
      case TControlKind::SpeedButton: {
        auto* sb = static_cast<TSpeedButton*>(k);
        const TBitmap& g = sb->Glyph();
        int x = b.Left + (b.Width() - g.Width()) / 2, y = b.Top + (b.Height() - g.Height()) / 2;
        if (k == pressed_) ++x, ++y;
        DrawBitmap(dc, x, y, g, true);
        if (!sb->Flat()) {
          RECT rc{b.Left, b.Top, b.Right, b.Bottom};
          DrawEdge(dc, &rc, k == pressed_ ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        }
        break;
      }
      default:
        break;
    }
    RestoreDC(dc, saved);
  }
}

void WindowPeer::UpdateTool(TControl& child) {
  if (child.Kind() != TControlKind::SpeedButton) return;
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(&child);
  if (tips_) SendMessageA(tips_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  if (!child.Visible() || !child.ShowHint() || child.Hint().empty()) return;
  if (!tips_) {
    tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(), nullptr);
    if (!tips_) return;
  }
  TRect b = child.BoundsRect();
  ti.uFlags = TTF_SUBCLASS;
  ti.rect = {b.Left, b.Top, b.Right, b.Bottom};
  std::string text = child.Hint();
  ti.lpszText = &text[0];
  SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

void WindowPeer::Mouse(UINT msg, int x, int y) {
  TControl* hit = GraphicChildAt(x, y);
  TControl* target = hit ? hit : &control_;
  int cx = hit ? x - hit->Left() : x, cy = hit ? y - hit->Top() : y;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      pressed_ = target;
      SetCapture(hwnd_);
      if (hit) hit->Invalidate();
      CallHandler([&] { target->MouseDown(mbLeft, 0, cx, cy); });
      break;
    case WM_RBUTTONDOWN:
      CallHandler([&] { target->MouseDown(mbRight, 0, cx, cy); });
      break;
    case WM_LBUTTONUP: {
      TControl* was = pressed_;
      pressed_ = nullptr;
      if (GetCapture() == hwnd_) ReleaseCapture();
      if (was && was != &control_) was->Invalidate();
      if (was && was == target && target->Enabled()) CallHandler([&] { target->Click(); });
      break;
    }
    default:
      break;
  }
}

LRESULT WindowPeer::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  if (IsForm() && form().OnWindowMessage) {
    TMessage m;
    m.Msg = msg;
    m.WParam = wp;
    m.LParam = lp;
    CallHandler([&] { form().OnWindowMessage(m); });
  }
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd_, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, Brush());
      if (control_.Kind() == TControlKind::Panel &&
          static_cast<TPanel&>(control_).BevelOuter() != bvNone)
        DrawEdge(reinterpret_cast<HDC>(wp), &rc,
                 static_cast<TPanel&>(control_).BevelOuter() == bvRaised ? BDR_RAISEDOUTER : BDR_SUNKENOUTER,
                 BF_RECT);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (IsForm() && form().OnPaint) {
        Win32Canvas canvas(dc, hwnd_);
        CallHandler([&] { form().OnPaint(canvas); });
      }
      PaintChildren(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      WindowPeer* child = PeerOf(reinterpret_cast<HWND>(lp));
      if (!child) break;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, ToColorRef(child->control().Font().Color));
      SetBkColor(dc, ToColorRef(child->control().Color()));
      return reinterpret_cast<LRESULT>(child->Brush());
    }
    case WM_COMMAND: {
      WindowPeer* child = lp ? PeerOf(reinterpret_cast<HWND>(lp)) : nullptr;
      if (child && HIWORD(wp) == BN_CLICKED) {
        TControl& c = child->control();
        CallHandler([&] { c.Click(); });
        return 0;
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
      Mouse(msg, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return 0;
    case WM_CONTEXTMENU: {
      TForm* f = nullptr;
      for (TControl* c = &control_; c; c = c->Parent())
        if (c->Kind() == TControlKind::Form) f = static_cast<TForm*>(c);
      if (!f || !f->PopupMenu() || f->PopupMenu()->Items().empty()) break;
      HMENU menu = CreatePopupMenu();
      const auto& items = f->PopupMenu()->Items();
      for (size_t i = 0; i < items.size(); ++i) AppendMenuA(menu, MF_STRING, i + 1, items[i]->Caption.c_str());
      POINT pt;
      GetCursorPos(&pt);
      int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
      DestroyMenu(menu);
      if (chosen > 0) {
        TMenuItem* item = items[static_cast<size_t>(chosen - 1)];
        CallHandler([item] { item->Click(); });
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
        TControl* hit = GraphicChildAt(pt.x, pt.y);
        TCursor cur = hit ? hit->Cursor() : control_.Cursor();
        SetCursor(LoadCursor(nullptr, cur == crHandPoint ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      if (IsForm()) {
        CallHandler([&] { form().Close(); });
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (IsForm()) {
        auto& ev = LOWORD(wp) == WA_INACTIVE ? form().OnDeactivate : form().OnActivate;
        CallHandler(ev);
      }
      break;
    case WM_SIZE:
    case WM_MOVE:
      if (IsForm() && !IsIconic(hwnd_)) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        syncing_ = true;
        CallHandler([&] { control_.SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); });
        syncing_ = false;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK ContainerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  WindowPeer* p = PeerOf(h);
  if (!p || !p->Handle()) return DefWindowProcA(h, msg, wp, lp);
  return p->Proc(msg, wp, lp);
}

// ---- timers ---------------------------------------------------------------------------

std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  TTimer* t = it->second;
  CallHandler([t] { t->Tick(); });
}

class Win32Timer : public TimerPeer {
 public:
  explicit Win32Timer(TTimer& t) : timer_(t) {}
  ~Win32Timer() override { Stop(); }
  void Update() override {
    Stop();
    if (!timer_.Active()) return;
    id_ = SetTimer(nullptr, 0, timer_.Interval(), TimerProc);
    if (id_) Timers()[id_] = &timer_;
  }

 private:
  void Stop() {
    if (!id_) return;
    KillTimer(nullptr, id_);
    Timers().erase(id_);
    id_ = 0;
  }
  TTimer& timer_;
  UINT_PTR id_ = 0;
};

// ---- the backend ----------------------------------------------------------------------

class Win32Backend : public Backend {
 public:
  std::unique_ptr<ControlPeer> CreatePeer(TControl& c) override {
    if (!c.IsWindowed()) return std::make_unique<GraphicPeer>(c);
    auto p = std::make_unique<WindowPeer>(c);
    p->Create();
    return p;
  }
  std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& t) override { return std::make_unique<Win32Timer>(t); }
  TextExtent FrameSize(const TCreateParams& p) override {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, p.Style, FALSE, p.ExStyle);
    return {r.right - r.left, r.bottom - r.top};
  }
  TextExtent MeasureText(const TFont& f, const std::string& text) override {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontFor(f));
    SIZE sz{0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &sz);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {sz.cx, tm.tmHeight};
  }
  void ProcessMessages() override {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        Application->Terminate();
        break;
      }
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), flags | MB_TASKMODAL);
  }
  std::intptr_t ApplicationHandle() override {
    if (!app_) {
      RegisterClasses();
      app_ = CreateWindowExA(0, kAppClass, Application->Title().c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             Instance(), nullptr);
    }
    return reinterpret_cast<std::intptr_t>(app_);
  }
  void TitleChanged(const std::string& t) override {
    if (app_) SetWindowTextA(app_, t.c_str());
  }
  void Wake() override { PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0); }

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
