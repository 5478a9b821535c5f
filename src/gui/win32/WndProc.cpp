// Our window classes and their window procedure; what every windowed peer shares; the
// containers' painting, mouse and cursor; the drawn controls' invalidation.
#include <string>

#include "gui/win32/Peers.h"
#include "platform/SystemLibrary.h"

#include <commctrl.h>  // after <windows.h>

namespace gui::win32 {

const wchar_t kFormClass[] = L"TQForm";
const wchar_t kPanelClass[] = L"TQPanel";
const wchar_t kAppClass[] = L"TQApplication";

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

namespace {

LRESULT CALLBACK ContainerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  // Only containers are created with our form and panel classes.
  auto* p = static_cast<ContainerPeer*>(PeerOf(h));
  if (!p || !p->Handle()) return DefWindowProcW(h, msg, wp, lp);
  return p->Proc(msg, wp, lp);
}

// The application's window: the task bar's "Close window" closes the modal form as its own
// close button does; DefWindowProc would destroy every form it owns under the modal loop. The
// task bar asks with SC_CLOSE, which DefWindowProc ignores while a modal loop has disabled
// this window: it is taken here.
LRESULT CALLBACK ApplicationProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    if (TForm* form = ModalForm()) CallHandler([form] { form->Close(); });
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

HWND ParentWindow(const TControl& c) {
  return c.Parent() && c.Parent()->Peer() ? reinterpret_cast<HWND>(c.Parent()->Peer()->Handle()) : nullptr;
}

}  // namespace

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSW wc{};
  wc.lpfnWndProc = ContainerProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
  wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
  wc.style = CS_DBLCLKS;
  wc.lpszClassName = kFormClass;
  RegisterClassW(&wc);
  wc.lpfnWndProc = ApplicationProc;  // the task bar shows its icon
  wc.lpszClassName = kAppClass;
  RegisterClassW(&wc);
  wc.lpfnWndProc = ContainerProc;
  wc.hIcon = nullptr;
  wc.lpszClassName = kPanelClass;
  RegisterClassW(&wc);
}

const DpiFunctions& Dpi() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
      f.getDpiForWindow = reinterpret_cast<decltype(f.getDpiForWindow)>(
          reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
      f.adjustWindowRectExForDpi = reinterpret_cast<decltype(f.adjustWindowRectExForDpi)>(
          reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
    }
    return f;
  }();
  return functions;
}

int SystemPixelsPerInch() {
  HDC screen = GetDC(nullptr);
  const int ppi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return ppi > 0 ? ppi : kDesignPixelsPerInch;
}

int WindowPixelsPerInch(HWND window) {
  if (const auto get = Dpi().getDpiForWindow)
    if (const UINT ppi = get(window)) return static_cast<int>(ppi);
  return SystemPixelsPerInch();
}

int MonitorPixelsPerInch(HMONITOR monitor) {
  // shcore.dll (Windows 8.1 and later), from the system folder only, kept for the run.
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const GetDpiForMonitorFn getDpiForMonitor = []() -> GetDpiForMonitorFn {
    HMODULE shcore = static_cast<HMODULE>(platform::LoadSystemLibrary(L"shcore.dll"));
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  if (const auto get = getDpiForMonitor; get && monitor && get(monitor, kEffectiveDpi, &x, &y) == S_OK && y)
    return static_cast<int>(y);
  return SystemPixelsPerInch();
}

WindowPeer* PeerOf(HWND h) { return reinterpret_cast<WindowPeer*>(GetWindowLongPtrW(h, GWLP_USERDATA)); }

// ---- every windowed control -----------------------------------------------------------

WindowPeer::~WindowPeer() {
  if (tips_) DestroyWindow(tips_);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (brush_) DeleteObject(brush_);
}

void WindowPeer::Create() {
  RegisterClasses();
  const TControl& c = control_;
  WindowParams p;
  p.Style = WS_CHILD | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0);
  p.Parent = ParentWindow(c);
  GetParams(p);
  hwnd_ = CreateWindowExW(p.ExStyle, p.ClassName, Wide(c.Caption()).c_str(), p.Style, c.Left(), c.Top(), c.Width(),
                          c.Height(), p.Parent, nullptr, Instance(), static_cast<WindowPeer*>(this));
  if (!hwnd_) return;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<WindowPeer*>(this)));
  AppearanceChanged();
}

void WindowPeer::BoundsChanged() {
  const TControl& c = control_;
  SetWindowPos(hwnd_, nullptr, c.Left(), c.Top(), c.Width(), c.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowPeer::VisibleChanged() { ShowWindow(hwnd_, control_.Visible() ? SW_SHOWNA : SW_HIDE); }

void WindowPeer::AppearanceChanged() {
  if (brush_) {
    DeleteObject(brush_);
    brush_ = nullptr;
  }
  Update();
  EnableWindow(hwnd_, control_.Enabled());
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void WindowPeer::Update() { SetText(control_.Caption()); }

void WindowPeer::SetText(const std::string& text) {
  const std::wstring wide = Wide(text);
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring now(static_cast<size_t>(n) + 1, L'\0');
  now.resize(static_cast<size_t>(GetWindowTextW(hwnd_, &now[0], n + 1)));
  if (now != wide) SetWindowTextW(hwnd_, wide.c_str());
}

void WindowPeer::SetFocus() {
  if (hwnd_) ::SetFocus(hwnd_);
}

HBRUSH WindowPeer::Brush() {
  if (!brush_) brush_ = CreateSolidBrush(ToColorRef(control_.Color()));
  return brush_;
}

void WindowPeer::UpdateTool(TControl& child) {
  // A control with a window of its own is a tool by its window (the mouse goes to it, not to
  // this one); a drawn one by its rectangle here.
  const HWND own = child.IsWindowed() && child.Peer() ? reinterpret_cast<HWND>(child.Peer()->Handle()) : nullptr;
  TOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V1_SIZE;
  ti.hwnd = hwnd_;
  ti.uId = own ? reinterpret_cast<UINT_PTR>(own) : reinterpret_cast<UINT_PTR>(&child);
  if (tips_) SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  if (!child.Visible() || !child.ShowHint() || child.Hint().empty()) return;
  if (!tips_) {
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(), nullptr);
    if (!tips_) return;
  }
  TRect b = child.BoundsRect();
  ti.uFlags = TTF_SUBCLASS | (own ? TTF_IDISHWND : 0);
  ti.rect = {b.Left, b.Top, b.Right, b.Bottom};
  std::wstring text = Wide(child.Hint());
  ti.lpszText = &text[0];
  SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

// ---- containers -----------------------------------------------------------------------

void ContainerPeer::EraseBackground(HDC dc, const RECT& client) { FillRect(dc, &client, Brush()); }

TControl* ContainerPeer::GraphicChildAt(int x, int y) {
  const auto& kids = control_.Controls();
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    TControl* k = *it;
    if (!k->IsWindowed() && k->Visible() && k->BoundsRect().Contains(x, y)) return k;
  }
  return nullptr;
}

void ContainerPeer::PaintChildren(HDC dc) {
  for (TControl* k : control_.Controls()) {
    if (k->IsWindowed() || !k->Visible()) continue;
    TRect b = k->BoundsRect();
    int saved = SaveDC(dc);
    IntersectClipRect(dc, b.Left, b.Top, b.Right, b.Bottom);
    // A control without a window of its own has a drawn peer in this backend.
    static_cast<GraphicPeer*>(k->Peer())->Paint(dc, b, k == pressed_);
    RestoreDC(dc, saved);
  }
}

namespace {
// The button a press message names; the left button is handled on its own (press and click).
TMouseButton PressedButton(UINT msg, WPARAM wp) {
  switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: return mbRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: return mbMiddle;
    default: return GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? mbExtra1 : mbExtra2;
  }
}
}  // namespace

void ContainerPeer::Mouse(UINT msg, WPARAM wp, int x, int y) {
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
    case WM_LBUTTONUP: {
      TControl* was = pressed_;
      pressed_ = nullptr;
      if (GetCapture() == hwnd_) ReleaseCapture();
      if (was && was != &control_) was->Invalidate();
      if (was && was == target && target->Enabled()) CallHandler([&] { target->Click(); });
      break;
    }
    default:  // the other buttons: a press (a quick second press comes as a double click)
      CallHandler([&] { target->MouseDown(PressedButton(msg, wp), 0, cx, cy); });
      break;
  }
}

LRESULT ContainerPeer::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd_, &rc);
      EraseBackground(reinterpret_cast<HDC>(wp), rc);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      PaintOwn(dc);
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
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      WindowPeer* child = d ? PeerOf(d->hwndItem) : nullptr;
      if (child && child->DrawItem(*d)) return TRUE;
      break;
    }
    case WM_COMMAND: {
      WindowPeer* child = lp ? PeerOf(reinterpret_cast<HWND>(lp)) : nullptr;
      if (child && child->Notify(HIWORD(wp))) return 0;
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: Mouse(msg, wp, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))); return 0;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
      Mouse(msg, wp, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return TRUE;  // the system asks X-button handlers for TRUE
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
        TControl* hit = GraphicChildAt(pt.x, pt.y);
        TCursor cur = hit ? hit->Cursor() : control_.Cursor();
        SetCursor(
            LoadCursorW(nullptr, MAKEINTRESOURCEW(cur == crHandPoint ? 32649 /* IDC_HAND */ : 32512 /* IDC_ARROW */)));
        return TRUE;
      }
      break;
    default: break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

// ---- drawn controls -------------------------------------------------------------------

GraphicPeer::GraphicPeer(TControl& c, Painter paint) : control_(c), paint_(paint), rect_(c.BoundsRect()) {
  AppearanceChanged();
}

void GraphicPeer::AppearanceChanged() {
  Invalidate();
  TControl* parent = control_.Parent();
  if (parent && parent->Peer() && parent->IsWindowed()) static_cast<WindowPeer*>(parent->Peer())->UpdateTool(control_);
}

void GraphicPeer::BoundsChanged() {
  InvalidateParent(rect_);
  rect_ = control_.BoundsRect();
  Invalidate();
}

void GraphicPeer::InvalidateParent(const TRect& r) {
  HWND p = ParentWindow(control_);
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  if (p) InvalidateRect(p, &rc, TRUE);
}

}  // namespace gui::win32
