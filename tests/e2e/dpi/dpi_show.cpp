// Shows the verification, certification and extraction windows on real windows at the
// resolution of the Wine prefix, for the checks of dpi_e2e.py:
//
//   dpi_show.exe REPORT DONE [MOVE_TO_PPI]
//
// Builds the three windows as the launcher does (with the launcher's manifest, so the
// program is per-monitor aware), shows them, and writes to REPORT what the system says of
// them: resolutions, window and client rectangles, the install button's screen rectangle and
// the fonts' heights, as "key value..." lines ending with "end". The verification window stays
// on the screen (the others are hidden after their report) until the file DONE appears. With
// MOVE_TO_PPI it is then told it moved to a monitor of that resolution (WM_DPICHANGED with a
// proposed rectangle) and reported again, to REPORT.moved. After two minutes without DONE the
// program gives up with exit code 2.
#include <windows.h>
// The toolkit's own MessageBox and TextOut members, not the system's ANSI/wide macros.
#undef MessageBox
#undef TextOut

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../ShowLoop.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/Forms.h"
#include "gui/win32/Win32Draw.h"
#include "settings/allparam.h"
#include "windows/Balloon.h"
#include "windows/FrmCheckShareCode.h"
#include "windows/SerevrConfirm.h"
#include "windows/UnzipSoftUnit.h"

namespace {

using show::Pump;

constexpr UINT kWmDpiChanged = 0x02E0;

HWND Hwnd(TControl& c) { return reinterpret_cast<HWND>(c.Handle()); }

// The character height in pixels that a GDI font was made with.
int CharHeight(HFONT font) {
  LOGFONTW lf{};
  if (!font || !GetObjectW(font, sizeof lf, &lf)) return 0;
  return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
}

void Form(FILE* f, const char* name, TForm& form) {
  HWND h = Hwnd(form);
  RECT w{}, c{};
  GetWindowRect(h, &w);
  GetClientRect(h, &c);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  std::fprintf(f, "%s.window %ld %ld %ld %ld\n", name, w.left, w.top, w.right - w.left, w.bottom - w.top);
  std::fprintf(f, "%s.client %ld %ld %ld %ld\n", name, origin.x, origin.y, c.right, c.bottom);
  std::fprintf(f, "%s.ppi %d\n", name, form.PixelsPerInch());
}

void Control(FILE* f, const char* name, TControl& c) {
  const TPoint at = c.ClientToScreen({0, 0});
  std::fprintf(f, "%s %d %d %d %d\n", name, at.X, at.Y, c.Width(), c.Height());
}

void Verification(FILE* f, const char* prefix, TFrmNetVerify& v) {
  const std::string p = prefix;
  Form(f, (p + "verify").c_str(), v);
  Control(f, (p + "install").c_str(), *v.BtnInstall);
  Control(f, (p + "progress").c_str(), *v.ProgressBar1);
  std::fprintf(f, "%slabel3.font %d\n", prefix, CharHeight(gui::win32::FontFor(v.Label3->Font())));
  std::fprintf(f, "%shint.font %d\n", prefix, CharHeight(gui::win32::FontFor(v.LblHint->Font())));
  // The check box is the system's control: the font it was given, as it tells.
  HFONT box = reinterpret_cast<HFONT>(SendMessageW(Hwnd(*v.CbSafeCheck), WM_GETFONT, 0, 0));
  std::fprintf(f, "%scheckbox.font %d\n", prefix, CharHeight(box));
  std::fprintf(f, "%sinstall.glyph %d %d\n", prefix, v.BtnInstall->Glyph().Width(), v.BtnInstall->Glyph().Height());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 64;
  const std::string report = argv[1], done = argv[2];
  const int moveTo = argc > 3 ? std::atoi(argv[3]) : 0;
  AssignSettings();
  ShareCode = std::make_unique<TShareCode>();
  ShareCode->ExeMD5 = "d41d8cd98f00b204e9800998ecf8427e";

  FILE* f = std::fopen(report.c_str(), "wb");
  if (!f) return 4;
  HDC screen = GetDC(nullptr);
  std::fprintf(f, "system.ppi %d\n", GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);

  {
    auto owner = std::make_unique<TForm>(nullptr);
    auto* confirm = new TFrmServerConfirm(owner.get());
    confirm->SetCheckTexts(ShareCode->ExeMD5, ProductDisplayName, platform::LocalNow());
    confirm->Show();
    Pump(300);
    Form(f, "confirm", *confirm);
    std::fprintf(f, "confirm.label4.font %d\n", CharHeight(gui::win32::FontFor(confirm->Label4->Font())));
    confirm->Hide();
  }
  {
    TFrmUnzipSoft unzip(nullptr);
    unzip.Timer1->SetEnabled(false);  // shown only: nothing is extracted
    unzip.Show();
    Pump(300);
    Form(f, "unzip", unzip);
    Control(f, "unzip.progress", *unzip.ProgressBar1);
    unzip.Hide();
  }

  TFrmNetVerify verify(nullptr);
  verify.Show();
  Pump(700);  // painted
  Verification(f, "", verify);
  std::fprintf(f, "end\n");
  std::fclose(f);

  if (!show::WaitForDone(done)) return 2;
  if (moveTo > 0) {
    f = std::fopen((report + ".moved").c_str(), "wb");
    if (!f) return 4;
    RECT proposed{};
    GetWindowRect(Hwnd(verify), &proposed);
    proposed.right = proposed.left + MulDiv(proposed.right - proposed.left, moveTo, verify.PixelsPerInch());
    proposed.bottom = proposed.top + MulDiv(proposed.bottom - proposed.top, moveTo, verify.PixelsPerInch());
    SendMessageW(Hwnd(verify), kWmDpiChanged, MAKEWPARAM(moveTo, moveTo), reinterpret_cast<LPARAM>(&proposed));
    Pump(500);
    std::fprintf(f, "proposed %ld %ld %ld %ld\n", proposed.left, proposed.top, proposed.right - proposed.left,
                 proposed.bottom - proposed.top);
    Verification(f, "moved.", verify);
    std::fprintf(f, "end\n");
    std::fclose(f);
  }
  return 0;
}
