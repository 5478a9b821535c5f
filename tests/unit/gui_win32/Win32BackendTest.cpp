// The toolkit on real windows (the win32 backend, under Wine in the tests): each control
// kind becomes its window or is drawn by its container, the system's controls and the
// mouse reach the control's events, and forms keep their bounds, filter and modal loop.
// Pixels are read back from the window after a synchronous repaint.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <commctrl.h>
#undef MessageBox  // the toolkit's own, not the system's ANSI/wide macro

#include "gui/Forms.h"
#include "platform/Platform.h"

namespace {

const TColor kBack = ColorFromRGB(250, 250, 250);
const TColor kGreen = ColorFromRGB(0, 160, 0);
const TColor kBlue = ColorFromRGB(0, 0, 200);
const TColor kPink = ColorFromRGB(255, 0, 255);

HWND Hwnd(TControl& c) { return reinterpret_cast<HWND>(c.Handle()); }

std::string ClassOf(HWND h) {
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  return name;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// A borderless form on the screen (client and window coordinates are the same), shared by
// the tests: a window mapped or unmapped without a window manager costs Wine seconds. Each
// test's controls are owned by the test.
class Win32Backend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { form_ = new TForm(nullptr); }
  static void TearDownTestSuite() { delete form_; }
  void SetUp() override {
    form_->OnWindowMessage = nullptr;
    form_->SetColor(kBack);
    form_->SetBorderStyle(bsNone);
    form_->SetBounds(40, 40, 240, 160);
    form_->Show();
  }
  void TearDown() override { Application->ResetTerminated(); }

  template <class T>
  T* Add(int left, int top, int width, int height, TControl* parent = nullptr) {
    auto* c = new T(&owner_);
    c->SetParent(parent ? parent : form_);
    c->SetBounds(left, top, width, height);
    return c;
  }
  // The colours of client points of a window, after everything invalid has been painted.
  std::vector<TColor> Pixels(TControl& window, const std::vector<POINT>& points) {
    RedrawWindow(Hwnd(*form_), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    HWND h = Hwnd(window);
    HDC dc = GetDC(h);
    std::vector<TColor> colours;
    for (POINT p : points) colours.push_back(GetPixel(dc, p.x, p.y));
    ReleaseDC(h, dc);
    return colours;
  }
  TColor PixelAt(int x, int y) { return Pixels(*form_, {{x, y}})[0]; }

  static TForm* form_;
  TComponent owner_{nullptr};
};
TForm* Win32Backend::form_ = nullptr;

TBitmap Filled(int w, int h, TColor c) {
  TBitmap b;
  b.SetSize(w, h, c);
  return b;
}

// ---- each kind as its window ----------------------------------------------------------

TEST_F(Win32Backend, WindowedKindsGetTheirWindowClassAndDrawnKindsNone) {
  auto* panel = Add<TPanel>(10, 10, 200, 100);
  auto* box = Add<TCheckBox>(5, 5, 100, 17, panel);
  auto* bar = Add<TProgressBar>(5, 30, 100, 6, panel);
  auto* label = Add<TLabel>(5, 40, 50, 13, panel);
  auto* image = Add<TImage>(5, 60, 16, 16, panel);
  auto* button = Add<TSpeedButton>(30, 60, 23, 22, panel);
  button->SetCaption("\xBF\xAA\xCA\xBC\xB0\xB2\xD7\xB0");  // 开始安装 (code page 936)

  EXPECT_EQ(ClassOf(Hwnd(*form_)), "TQForm");
  EXPECT_EQ(GetAncestor(Hwnd(*form_), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(ClassOf(Hwnd(*panel)), "TQPanel");
  EXPECT_EQ(GetParent(Hwnd(*panel)), Hwnd(*form_));
  EXPECT_TRUE(GetWindowLongA(Hwnd(*panel), GWL_STYLE) & WS_CLIPCHILDREN);
  EXPECT_STRCASEEQ(ClassOf(Hwnd(*box)).c_str(), "Button");
  EXPECT_EQ(GetWindowLongA(Hwnd(*box), GWL_STYLE) & BS_TYPEMASK, BS_CHECKBOX);
  EXPECT_EQ(GetParent(Hwnd(*box)), Hwnd(*panel));
  EXPECT_EQ(ClassOf(Hwnd(*bar)), PROGRESS_CLASSA);
  // A picture button is a push button to screen readers and window listers, named by its
  // caption though only its picture shows.
  EXPECT_STRCASEEQ(ClassOf(Hwnd(*button)).c_str(), "Button");
  EXPECT_EQ(GetWindowLongA(Hwnd(*button), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_EQ(GetParent(Hwnd(*button)), Hwnd(*panel));
  wchar_t name[16] = {};
  GetWindowTextW(Hwnd(*button), name, 16);
  EXPECT_EQ(std::wstring(name), L"\u5F00\u59CB\u5B89\u88C5");
  for (TControl* drawn : std::vector<TControl*>{label, image}) {
    EXPECT_TRUE(drawn->HandleAllocated());
    EXPECT_EQ(drawn->Handle(), 0);
  }
}

TEST_F(Win32Backend, FormWindowHasTheStylesOfItsCreationParameters) {
  TForm tool(nullptr);
  tool.SetBorderStyle(bsToolWindow);
  tool.SetFormStyle(fsStayOnTop);
  HWND h = Hwnd(tool);
  EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_CAPTION);
  EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

// ---- the system's controls ------------------------------------------------------------

TEST_F(Win32Backend, CheckBoxShowsItsTickAndASystemClickReachesOnClick) {
  auto* box = Add<TCheckBox>(10, 10, 120, 17);
  box->SetCaption("box");
  box->SetChecked(true);
  EXPECT_EQ(SendMessageA(Hwnd(*box), BM_GETCHECK, 0, 0), BST_CHECKED);
  std::vector<bool> seen;
  box->OnClick = [&] { seen.push_back(box->Checked()); };
  SendMessageA(Hwnd(*box), BM_CLICK, 0, 0);
  EXPECT_EQ(seen, std::vector<bool>{false});
  EXPECT_EQ(SendMessageA(Hwnd(*box), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  char text[16] = {};
  GetWindowTextA(Hwnd(*box), text, sizeof text);
  EXPECT_STREQ(text, "box");
}

TEST_F(Win32Backend, ProgressBarShowsTheControlsRangeAndPosition) {
  auto* bar = Add<TProgressBar>(10, 10, 200, 6);
  bar->SetMax(250);
  bar->SetPosition(180);
  EXPECT_EQ(SendMessageA(Hwnd(*bar), PBM_GETRANGE, FALSE, 0), 250);
  EXPECT_EQ(SendMessageA(Hwnd(*bar), PBM_GETPOS, 0, 0), 180);
  bar->SetPosition(0);
  EXPECT_EQ(SendMessageA(Hwnd(*bar), PBM_GETPOS, 0, 0), 0);
}

// ---- drawn controls: the mouse --------------------------------------------------------

TEST_F(Win32Backend, PictureButtonClicksOnlyWhenReleasedOverItAndNotWhenDisabled) {
  auto* button = Add<TSpeedButton>(20, 20, 30, 20);
  int clicks = 0;
  button->OnClick = [&] { ++clicks; };
  HWND h = Hwnd(*button);
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  SendMessageA(h, WM_LBUTTONUP, 0, At(25, 15));
  EXPECT_EQ(clicks, 1);
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  SendMessageA(h, WM_LBUTTONUP, 0, At(80, 80));  // dragged off
  EXPECT_EQ(clicks, 1);
  SendMessageA(h, BM_CLICK, 0, 0);  // as a screen reader presses it
  EXPECT_EQ(clicks, 2);
  button->SetEnabled(false);
  SendMessageA(h, BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 2);
}

TEST_F(Win32Backend, MouseDownReachesTheTopmostDrawnControlInItsOwnCoordinates) {
  auto* panel = Add<TPanel>(10, 10, 200, 100);
  auto* under = Add<TLabel>(20, 20, 60, 20, panel);
  auto* over = Add<TImage>(30, 25, 20, 20, panel);
  std::vector<std::string> seen;
  under->OnMouseDown = [&](TMouseButton b, TShiftState, int x, int y) {
    seen.push_back("under " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
  };
  over->OnMouseDown = [&](TMouseButton b, TShiftState, int x, int y) {
    seen.push_back("over " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
  };
  HWND h = Hwnd(*panel);
  SendMessageA(h, WM_RBUTTONDOWN, MK_RBUTTON, At(35, 30));
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, At(22, 21));
  SendMessageA(h, WM_LBUTTONUP, 0, At(22, 21));
  EXPECT_EQ(seen, (std::vector<std::string>{"over 1 5,5", "under 0 2,1"}));
}

TEST_F(Win32Backend, EveryMouseButtonsPressReachesMouseDownQuickSecondPressesToo) {
  auto* link = Add<TLabel>(20, 20, 60, 20);
  std::vector<int> buttons;
  link->OnMouseDown = [&](TMouseButton b, TShiftState, int, int) { buttons.push_back(b); };
  HWND h = Hwnd(*form_);
  SendMessageA(h, WM_MBUTTONDOWN, MK_MBUTTON, At(30, 30));
  SendMessageA(h, WM_MBUTTONDBLCLK, MK_MBUTTON, At(30, 30));
  EXPECT_EQ(SendMessageA(h, WM_XBUTTONDOWN, MAKEWPARAM(MK_XBUTTON1, XBUTTON1), At(30, 30)), TRUE);
  SendMessageA(h, WM_XBUTTONDBLCLK, MAKEWPARAM(MK_XBUTTON2, XBUTTON2), At(30, 30));
  SendMessageA(h, WM_RBUTTONDBLCLK, MK_RBUTTON, At(30, 30));
  SendMessageA(h, WM_MBUTTONDOWN, MK_MBUTTON, At(100, 100));  // beside it
  EXPECT_EQ(buttons, (std::vector<int>{mbMiddle, mbMiddle, mbExtra1, mbExtra2, mbRight}));
}

// ---- drawn controls: painting ---------------------------------------------------------

TEST_F(Win32Backend, TransparentImageShowsItsContainerThroughItsBottomLeftColour) {
  TBitmap picture = Filled(8, 8, kPink);
  picture.SetPixel(2, 2, kBlue);
  auto* image = Add<TImage>(30, 30, 8, 8);
  image->SetPicture(picture);
  EXPECT_EQ(PixelAt(32, 32), kBlue);
  EXPECT_EQ(PixelAt(30, 30), kPink);
  image->SetTransparent(true);
  EXPECT_EQ(PixelAt(32, 32), kBlue);
  EXPECT_EQ(PixelAt(30, 30), kBack);
  EXPECT_EQ(PixelAt(37, 37), kBack);
}

TEST_F(Win32Backend, DrawnControlIsClippedToItsBoundsAndRepaintedWhereItWas) {
  auto* image = Add<TImage>(30, 30, 4, 4);
  image->SetPicture(Filled(16, 16, kBlue));
  EXPECT_EQ(PixelAt(33, 33), kBlue);
  EXPECT_EQ(PixelAt(34, 34), kBack);
  image->SetLeft(100);
  EXPECT_EQ(PixelAt(33, 33), kBack);
  EXPECT_EQ(PixelAt(100, 30), kBlue);
  image->Hide();
  EXPECT_EQ(PixelAt(100, 30), kBack);
}

TEST_F(Win32Backend, ButtonGlyphIsCentredOnTheParentsColourAndShiftsWhilePressed) {
  TBitmap glyph = Filled(10, 10, kBlue);
  glyph.SetPixel(0, 9, kPink);  // the see-through colour
  auto* button = Add<TSpeedButton>(20, 20, 30, 30);
  button->SetFlat(true);
  button->SetGlyph(glyph);
  auto at = [&](int x, int y) { return Pixels(*button, {{x, y}})[0]; };
  EXPECT_EQ(at(10, 10), kBlue);
  EXPECT_EQ(at(9, 10), kBack);
  EXPECT_EQ(at(10, 19), kBack);  // the glyph's see-through corner
  SendMessageA(Hwnd(*button), WM_LBUTTONDOWN, MK_LBUTTON, At(15, 15));
  EXPECT_EQ(at(10, 10), kBack);
  EXPECT_EQ(at(11, 11), kBlue);
  SendMessageA(Hwnd(*button), WM_LBUTTONUP, 0, At(15, 15));
  EXPECT_EQ(at(10, 10), kBlue);
}

TEST_F(Win32Backend, PanelIsFilledWithItsColourInsideItsBevel) {
  auto* panel = Add<TPanel>(20, 20, 60, 40);
  panel->SetColor(kGreen);
  EXPECT_EQ(Pixels(*panel, {{30, 20}, {0, 0}, {59, 39}}),
            (std::vector<TColor>{kGreen, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW)}));
  panel->SetBevelOuter(bvNone);
  EXPECT_EQ(Pixels(*panel, {{0, 0}, {59, 39}}), (std::vector<TColor>{kGreen, kGreen}));
}

TEST_F(Win32Backend, LabelTextIsDrawnInItsFontColourOnItsContainer) {
  auto* label = Add<TLabel>(10, 10, 100, 20);
  TFont f = label->Font();
  f.Color = kBlue;
  f.Height = -16;
  f.Style = fsBold;
  label->SetFont(f);
  label->SetCaption("HHHH");
  std::vector<POINT> area;
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 110; ++x) area.push_back({x, y});
  int blue = 0;
  for (TColor c : Pixels(*form_, area)) blue += c == kBlue;
  EXPECT_GT(blue, 20);
  label->SetCaption("");
  blue = 0;
  for (TColor c : Pixels(*form_, area)) blue += c == kBlue;
  EXPECT_EQ(blue, 0);
}

// ---- forms ----------------------------------------------------------------------------

TEST_F(Win32Backend, FormsAreOwnedByTheApplicationsWindowWhichCarriesTheTitle) {
  Application->SetTitle("Parvalo安装程序");
  TForm framed(nullptr);
  HWND app = reinterpret_cast<HWND>(Application->Handle());
  ASSERT_NE(app, nullptr);
  for (HWND h : {Hwnd(*form_), Hwnd(framed)}) {
    EXPECT_EQ(GetWindow(h, GW_OWNER), app);
    EXPECT_FALSE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  }
  // The task bar's entry: an unowned window that is shown, of no size, titled.
  EXPECT_EQ(GetWindow(app, GW_OWNER), nullptr);
  EXPECT_TRUE(IsWindowVisible(app));
  RECT r;
  GetWindowRect(app, &r);
  EXPECT_TRUE(IsRectEmpty(&r));
  // The text of the program (code page 936) reaches the window as Unicode, whatever the
  // system's code page.
  wchar_t title[64] = {};
  GetWindowTextW(app, title, 64);
  EXPECT_STREQ(title, L"Parvalo安装程序");
  Application->SetTitle("other");
  GetWindowTextW(app, title, 64);
  EXPECT_STREQ(title, L"other");
}

TEST_F(Win32Backend, ClipboardTextIsOwnedByTheWindowGivenAndReadableAfterwards) {
  ASSERT_TRUE(platform::SetClipboardText(form_->Handle(), "0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(GetClipboardOwner(), Hwnd(*form_));
  EXPECT_EQ(platform::GetClipboardText(), "0123456789abcdef0123456789abcdef");
}

TEST_F(Win32Backend, FormTakesItsBoundsFromItsWindowAndPlacesItOnTop) {
  MoveWindow(Hwnd(*form_), 70, 80, 300, 200, TRUE);
  EXPECT_EQ(form_->Left(), 70);
  EXPECT_EQ(form_->Top(), 80);
  EXPECT_EQ(form_->Width(), 300);
  EXPECT_EQ(form_->Height(), 200);
  form_->SetZOrder(gui::kHwndTopmost, gui::kSwpNoSize | gui::kSwpNoMove | gui::kSwpNoActivate);
  EXPECT_TRUE(GetWindowLongA(Hwnd(*form_), GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT r;
  GetWindowRect(Hwnd(*form_), &r);
  EXPECT_EQ(r.left, 70);
  EXPECT_EQ(r.right - r.left, 300);
}

TEST_F(Win32Backend, MessageFilterSeesTheWindowsMessagesBeforeTheForm) {
  std::vector<std::uintptr_t> minimised;
  form_->OnWindowMessage = [&](TMessage& m) {
    if (m.Msg == gui::kWmSize) minimised.push_back(m.WParam);
  };
  SendMessageA(Hwnd(*form_), WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_EQ(minimised, std::vector<std::uintptr_t>{gui::kSizeMinimized});
}

TEST_F(Win32Backend, ModalLoopEndsOnClosingOrOnAResultSetByATimer) {
  PostMessageA(Hwnd(*form_), WM_CLOSE, 0, 0);
  EXPECT_EQ(form_->ShowModal(), mrCancel);
  EXPECT_FALSE(IsWindowVisible(Hwnd(*form_)));

  TTimer timer(form_);
  timer.SetInterval(1);
  int ticks = 0;
  timer.OnTimer = [&] {
    if (++ticks == 3) form_->SetModalResult(mrOk);
  };
  EXPECT_EQ(form_->ShowModal(), mrOk);
  EXPECT_EQ(ticks, 3);
}

TEST_F(Win32Backend, ModalLoopLeavesOtherWindowsAsItFoundThem) {
  TForm other(nullptr);
  other.SetBorderStyle(bsNone);
  other.SetBounds(300, 300, 50, 50);
  other.Show();
  bool disabledMeanwhile = false;
  TTimer timer(form_);
  timer.SetInterval(1);
  timer.OnTimer = [&] {
    disabledMeanwhile = !IsWindowEnabled(Hwnd(other));
    form_->SetModalResult(mrOk);
  };
  form_->ShowModal();
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_TRUE(IsWindowEnabled(Hwnd(other)));
}

TEST_F(Win32Backend, ClosingTheApplicationsWindowClosesTheModalFormAndDestroysNothing) {
  // The task bar's "Close window" on the program's button.
  TTimer timer(form_);
  timer.SetInterval(1);
  timer.OnTimer = [&] {
    timer.SetEnabled(false);
    PostMessageW(reinterpret_cast<HWND>(Application->Handle()), WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(form_->ShowModal(), mrCancel);
  EXPECT_TRUE(IsWindow(Hwnd(*form_)));
  EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(Application->Handle())));
}

TEST_F(Win32Backend, AMessageBoxIsOwnedByTheModalFormWhichItDisables) {
  HWND owner = nullptr;
  bool formEnabledUnderBox = true;
  TTimer ask(form_), answer(form_);
  ask.SetInterval(1);
  ask.OnTimer = [&] {
    ask.SetEnabled(false);
    // No window active (the user is in another program): still the modal form, never the
    // application's window, which the modal loop has disabled.
    SetActiveWindow(nullptr);
    Application->MessageBox("box", "tq-owner-check", gui::kMbOk);
    form_->SetModalResult(mrOk);
  };
  answer.SetInterval(20);
  answer.OnTimer = [&] {
    HWND box = FindWindowW(L"#32770", L"tq-owner-check");
    if (!box) return;
    answer.SetEnabled(false);
    owner = GetWindow(box, GW_OWNER);
    formEnabledUnderBox = IsWindowEnabled(Hwnd(*form_)) != FALSE;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  };
  EXPECT_EQ(form_->ShowModal(), mrOk);
  EXPECT_EQ(owner, Hwnd(*form_));
  EXPECT_FALSE(formEnabledUnderBox);
}

TEST_F(Win32Backend, TheKeyboardFollowsTheTabOrder) {
  // Placed in the other order than they are visited.
  auto* second = Add<TCheckBox>(10, 10, 80, 17);
  auto* first = Add<TCheckBox>(10, 40, 80, 17);
  second->SetTabOrder(1);
  first->SetTabOrder(0);
  std::vector<HWND> focus;
  int step = 0;
  TTimer keys(form_);
  keys.SetInterval(20);
  keys.OnTimer = [&] {
    HWND now = GetFocus();
    focus.push_back(now);
    switch (step++) {
      case 0: PostMessageW(now, WM_KEYDOWN, VK_TAB, 0); break;
      case 1:
        PostMessageW(now, WM_KEYDOWN, VK_SPACE, 0);
        PostMessageW(now, WM_KEYUP, VK_SPACE, 0xC0000001);
        break;
      default: keys.SetEnabled(false); form_->SetModalResult(mrOk);
    }
  };
  form_->ShowModal();
  EXPECT_EQ(focus, (std::vector<HWND>{Hwnd(*first), Hwnd(*second), Hwnd(*second)}));
  EXPECT_TRUE(second->Checked());
  EXPECT_FALSE(first->Checked());
}

}  // namespace
