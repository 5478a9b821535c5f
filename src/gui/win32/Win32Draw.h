#pragma once
// Drawing helpers of the win32 backend: colours, fonts and bitmaps as GDI objects.
#include <windows.h>
// The toolkit's own MessageBox and TextOut members, not the system's ANSI/wide macros.
#undef MessageBox
#undef TextOut

#include <string>

#include "gui/Graphics.h"
#include "platform/WideText.h"

namespace gui::win32 {

/// A text of the program (code page 936) as the wide calls take it: every text the windows
/// show goes through here, so it reads the same whatever the system's code page.
inline std::wstring Wide(const std::string& text) { return platform::TextToWide(text); }

COLORREF ToColorRef(TColor c);
/// A font for the description; cached for the rest of the run (a handful of fonts).
HFONT FontFor(const TFont& f);
/// Draws the picture at (x, y); with `transparent`, its bottom-left colour is see-through.
void DrawBitmap(HDC dc, int x, int y, const TBitmap& b, bool transparent);

/// A paint handler's canvas over a device context of a window.
class Win32Canvas : public TCanvas {
 public:
  Win32Canvas(HDC dc, HWND wnd) : dc_(dc), wnd_(wnd) {}
  void FrameWindowRegion(TColor color, int width, int height) override;
  void Draw(int x, int y, const TBitmap& bitmap) override;
  void FillRect(const TRect& r, TColor color) override;
  void TextOut(int x, int y, const std::string& text, const TFont& font) override;

 private:
  HDC dc_;
  HWND wnd_;
};

}  // namespace gui::win32
