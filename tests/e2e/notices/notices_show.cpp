// Shows one notice on real windows for the screenshot checks of notices_e2e.sh:
//
//   notices_show.exe REPORT DONE balloon KIND X Y   a balloon with pointer KIND anchored at (X, Y)
//   notices_show.exe REPORT DONE confirm            the certification window, modal
//
// A plain full-screen backdrop is shown and activated first, so that the screenshot has a
// known colour around the notice and the focus has a known owner. Once the notice is up and
// painted, REPORT gets its geometry as "key value..." lines (LF line ends); the program then keeps the
// notice on the screen until the file DONE appears (balloon) or until SpeedButton1 is
// clicked (confirm), and gives up after two minutes with exit code 2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../ShowLoop.h"
#include "gui/Forms.h"
#include "settings/allparam.h"
#include "windows/Balloon.h"
#include "windows/SerevrConfirm.h"

namespace {

using show::kGiveUpMs;
using show::Pump;

const TColor kBackdrop = ColorFromRGB(40, 90, 140);

void Rect(FILE* f, const char* key, HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  std::fprintf(f, "%s %ld %ld %ld %ld\n", key, r.left, r.top, r.right, r.bottom);
}

std::unique_ptr<TForm> ShowBackdrop() {
  auto backdrop = std::make_unique<TForm>(nullptr);
  backdrop->SetBorderStyle(bsNone);
  backdrop->SetColor(kBackdrop);
  backdrop->SetBounds(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  backdrop->Show();
  Pump(300);
  return backdrop;
}

int ShowBalloonCase(const std::string& report, const std::string& done, int kind, int x, int y) {
  auto backdrop = ShowBackdrop();
  HWND witness = reinterpret_cast<HWND>(backdrop->Handle());
  SetForegroundWindow(witness);
  Pump(200);
  ShowBalloon(x, y, "云验证失败", "请您到官方主页下载最新版本或联系我们以获得技术支持。", kind % 3, 60, kind);
  TBalloon* b = CurrentBalloon();
  if (!b || !b->Visible()) return 3;
  Pump(700);  // painted

  HWND h = reinterpret_cast<HWND>(b->Handle());
  FILE* f = std::fopen(report.c_str(), "wb");
  if (!f) return 4;
  std::fprintf(f, "anchor %d %d\nkind %d\n", x, y, kind);
  Rect(f, "window", h);
  std::fprintf(f, "labels %d %d %d %d\n", b->TitleLabel->Left() + b->TitleLabel->Width(),
               b->TextLabel->Left() + b->TextLabel->Width(), b->TextLabel->Top(), b->TextLabel->Height());
  HWND fg = GetForegroundWindow();
  std::fprintf(f, "foreground %s\n", fg == witness ? "witness" : fg == h ? "balloon" : "other");
  LONG ex = GetWindowLongA(h, GWL_EXSTYLE);
  std::fprintf(f, "topmost %d\n", (ex & WS_EX_TOPMOST) ? 1 : 0);
  COLORREF bk = GetSysColor(COLOR_INFOBK);
  std::fprintf(f, "infobk %d %d %d\n", GetRValue(bk), GetGValue(bk), GetBValue(bk));
  std::fclose(f);

  if (!show::WaitForDone(done)) return 2;
  return 0;
}

int ShowConfirmCase(const std::string& report) {
  auto backdrop = ShowBackdrop();
  auto owner = std::make_unique<TForm>(nullptr);
  auto* form = new TFrmServerConfirm(owner.get());
  platform::LocalDateTime today = platform::LocalNow();
  form->SetCheckTexts("d41d8cd98f00b204e9800998ecf8427e", "Parvalo", today);

  // Once up and painted, report; give up if the button is never clicked.
  auto* reporter = new TTimer(form);
  reporter->SetInterval(700);
  bool reported = false;
  DWORD shownAt = GetTickCount();
  bool gaveUp = false;
  reporter->OnTimer = [&] {
    if (!reported) {
      reported = true;
      HWND h = reinterpret_cast<HWND>(form->Handle());
      FILE* f = std::fopen(report.c_str(), "wb");
      if (!f) return;
      Rect(f, "window", h);
      RECT c{};
      GetClientRect(h, &c);
      POINT origin{0, 0};
      ClientToScreen(h, &origin);
      std::fprintf(f, "client %ld %ld %ld %ld\n", origin.x, origin.y, c.right, c.bottom);
      RECT outer{0, 0, 410, 174};
      AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE)));
      std::fprintf(f, "framed %ld %ld\n", outer.right - outer.left, outer.bottom - outer.top);
      TPoint button = form->SpeedButton1->ClientToScreen({40, 12});
      std::fprintf(f, "button %d %d\n", button.X, button.Y);
      std::fprintf(f, "date %s\n", FormatCheckDate(today).c_str());
      std::fclose(f);
    } else if (GetTickCount() - shownAt > kGiveUpMs) {
      gaveUp = true;
      form->Close();
    }
  };
  form->ShowModal();
  if (gaveUp || !reported) return 2;
  FILE* f = std::fopen(report.c_str(), "ab");
  if (f) {
    std::fprintf(f, "closed %d visible %d\n", form->ModalResult(), form->Visible() ? 1 : 0);
    std::fclose(f);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 64;
  const std::string report = argv[1], done = argv[2], what = argv[3];
  Application->SetTitle("setupTQ");
  FirstMirrorUrl = "http://127.0.0.11:8080/";
  if (what == "balloon" && argc == 7)
    return ShowBalloonCase(report, done, std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  if (what == "confirm") return ShowConfirmCase(report);
  return 64;
}
