#include "windows/Balloon.h"

#include <utility>

#include "base/Quietly.h"
#include "base/SysUtils.h"
#include "gui/Backend.h"
#include "gui/Make.h"
#include "platform/Platform.h"
#include "settings/allparam.h"
#include "windows/BalloonShape.h"

// A notice is a courtesy: whatever goes wrong while one is built, shown, painted or kept on top
// is dropped (Quietly), and the balloon stays as far as it got. Every public entry point of the
// unit and every window event of the balloon passes through Quietly, except the click, the hide
// timer and PrepareBalloon, whose errors go on to their caller (the toolkit shows an event
// handler's error in its box).
namespace {

// The unit's state. It is created after the toolkit's backend and application object (both
// are touched first), so it is destroyed before them: the current balloon never outlives
// the toolkit at program end.
struct BalloonUnit {
  std::unique_ptr<TBalloon> current;
  bool openOnClick = false;
  std::function<void(unsigned)> wait;
};

BalloonUnit& Unit() {
  static BalloonUnit unit =
      (static_cast<void>(gui::TheBackend()), static_cast<void>(Application->Title()), BalloonUnit{});
  return unit;
}

void Wait(unsigned ms) {
  BalloonUnit& u = Unit();
  if (u.wait)
    u.wait(ms);
  else
    platform::SleepMs(ms);
}

const char* IconResourceName(int icon) {
  switch (icon) {
    case 1: return "ERROR";
    case 2: return "WARNING";
    default: return "INFO";
  }
}

}  // namespace

// ---- the balloon window ------------------------------------------------------------------

TBalloon::TBalloon() : TForm(nullptr) {
  Quietly([this] {
    OnActivate = [this] { KeepOnTop(); };
    OnDeactivate = [this] { KeepOnTop(); };
    OnShow = [this] { KeepOnTop(); };
    OnPaint = [this](TCanvas& canvas) { BalloonPaint(canvas); };
    OnWindowMessage = [this](TMessage& m) { BalloonWindowMessage(m); };

    SetVisible(false);
    SetBorderStyle(bsNone);
    SetFormStyle(fsStayOnTop);
    SetColor(clInfoBk);
    SetFont(gui::MakeFont("Tahoma", 11));
    OnClick = [this] { BalloonClick(); };

    // clang-format off
    TitleLabel = gui::NewLabel(this, {.place = {kBalloonTitleLeft, kBalloonTitleTop},
                                      .font = gui::MakeFont("Tahoma", 11, clWindowText, fsBold)});
    TextLabel = gui::NewLabel(this, {.place = {kBalloonTextLeft, 0}, .font = DesignFont()});
    IconImage = gui::NewPicture(this, {.place = {kBalloonIconLeft, kBalloonIconTop}, .transparent = true,
                                       .onClick = [this] { BalloonClick(); }});
    HideTimer = gui::NewTimer(this, {.interval = 0, .enabled = false, .onTimer = [this] { HideTimerTimer(); }});
    // clang-format on
    TitleLabel->OnClick = TextLabel->OnClick = [this] { BalloonClick(); };

    CloseGlyph = std::make_unique<TBitmap>();
    LoadCloseGlyph();
  });
}

void TBalloon::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  params.Style &= ~(gui::kWsBorder | gui::kWsDlgFrame);
  params.Style |= gui::kWsPopup;
  params.ExStyle |= gui::kWsExTopmost | gui::kWsExToolWindow | gui::kWsExNoActivate;
  params.WndParent = gui::kDesktopWindow;
}

void TBalloon::ShowAt(int x, int y, const std::string& title, const std::string& text, int icon, int seconds,
                      int kind) {
  Quietly([&] {
    // Laid out for the monitor it shows on: the one that holds the anchor.
    HandleNeeded();
    ChangeScale(gui::TheBackend().PixelsPerInchAt(x, y));
    const int ppi = PixelsPerInch();
    kind = NormalizeBalloonPointer(kind);
    PointerOnTop = BalloonPointerOnTop(kind);
    // The design places, lowered under a top pointer. Set rather than moved, so a balloon
    // shown a second time does not creep down.
    TitleLabel->SetCaption(title);
    TitleLabel->SetTop(BalloonTitleTop(kind, ppi));
    TextLabel->SetTop(BalloonTextTop(TitleLabel->Top(), TitleLabel->Height(), ppi));
    TextLabel->SetCaption(text);
    IconImage->SetTop(BalloonIconTop(kind, ppi));

    // A notice without its icon is still the notice: a missing or broken picture leaves the
    // icon's place empty, and the balloon is shown all the same.
    IconImage->SetPicture(TBitmap());
    Quietly([&] { IconImage->SetPictureResource(IconResourceName(icon)); });

    const TBalloonShape s =
        LayoutBalloon(x, y, kind, TitleLabel->Left() + TitleLabel->Width(), TextLabel->Left() + TextLabel->Width(),
                      TextLabel->Top(), TextLabel->Height(), ppi);
    SetBounds(s.left, s.top, s.width, s.height);

    TWindowRegion region;
    region.AddRoundRect(s.bodyLeft, s.bodyTop, s.bodyRight, s.bodyBottom, s.cornerEllipse, s.cornerEllipse);
    region.AddPolygon(
        {{s.pointer[0].x, s.pointer[0].y}, {s.pointer[1].x, s.pointer[1].y}, {s.pointer[2].x, s.pointer[2].y}}, true);
    SetWindowRegion(region, true);

    ShowNoActivate();
    // A negative time never hides the balloon by itself; a huge one stays in range.
    const long long ms = seconds > 0 ? static_cast<long long>(seconds) * 1000 : 0;
    HideTimer->SetInterval(static_cast<unsigned>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms));
    HideTimer->SetEnabled(true);
  });
}

void TBalloon::LoadCloseGlyph() {
  Quietly([this] { *CloseGlyph = gui::LoadScaledPicture("BClose", PixelsPerInch()); });
}

void TBalloon::ScaleChanged() {
  TForm::ScaleChanged();
  if (CloseGlyph) LoadCloseGlyph();
}

void TBalloon::BalloonClick() {
  Hide();
  BalloonUnit& u = Unit();
  if (u.openOnClick) {
    u.openOnClick = false;
    platform::ShellExecute(Application->Handle(), "Open", platform::PathFromText(FirstMirrorUrl), TPath(),
                           gui::kSwShow);
  }
}

void TBalloon::HideTimerTimer() { Hide(); }

void TBalloon::KeepOnTop() {
  Quietly([this] { SetZOrder(gui::kHwndTopmost, gui::kSwpNoSize | gui::kSwpNoMove | gui::kSwpNoActivate); });
}

void TBalloon::BalloonPaint(TCanvas& canvas) {
  Quietly([&] {
    canvas.FrameWindowRegion(clBlack, 1, 1);
    if (CloseGlyph) {
      const TBalloonPoint g = BalloonCloseGlyphOrigin(PointerOnTop, Width(), PixelsPerInch());
      canvas.Draw(g.x, g.y, *CloseGlyph);
    }
  });
}

void TBalloon::BalloonWindowMessage(TMessage& message) {
  // Brought back when the system minimises it (a show-desktop command, for example),
  // restored without taking the focus.
  if (message.Msg == gui::kWmSize && message.WParam == gui::kSizeMinimized) Quietly([this] { ShowNoActivate(); });
}

// ---- unit routines --------------------------------------------------------------------

void ShowBalloonAtCursor(const std::string& title, const std::string& text) {
  int x = 0, y = 0;
  platform::CursorPos(x, y);
  ShowBalloon(x, y, title, text, 0, 20, bpTopLeft);
}

void ShowBalloon(int x, int y, const std::string& title, const std::string& text, int icon, int seconds, int kind) {
  Quietly([&] {
    BalloonUnit& u = Unit();
    if (u.current) {
      // The old balloon stays on the screen during the wait; the thread is blocked, so
      // nothing else happens in between. Released, it is hidden and deleted by the loop.
      Wait(200);
      Application->ReleaseForm(std::move(u.current));
    }
    u.current = std::make_unique<TBalloon>();
    u.current->ShowAt(x, y, title, Trim(text), icon, seconds, kind);
  });
}

void PrepareBalloon(bool openOnClick) {
  BalloonUnit& u = Unit();
  if (!u.current) u.current = std::make_unique<TBalloon>();
  u.openOnClick = openOnClick;
}

void SetOpenOnClick(bool openOnClick) { Unit().openOnClick = openOnClick; }

void LoadBitmapResource(TBitmap& bitmap, const std::string& name, const std::string& type) {
  Quietly([&] {
    std::string bytes;
    if (platform::FindModuleResource(name, type, bytes)) bitmap.LoadFromFileImage(bytes);  // unchanged when it raises
  });
}

TBalloon* CurrentBalloon() { return Unit().current.get(); }

bool OpenOnClick() { return Unit().openOnClick; }

void ResetBalloons() {
  BalloonUnit& u = Unit();
  u.current.reset();
  u.openOnClick = false;
}

void SetBalloonWait(std::function<void(unsigned ms)> wait) { Unit().wait = std::move(wait); }
