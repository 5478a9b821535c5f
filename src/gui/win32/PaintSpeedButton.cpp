// A speed button: its glyph centred, a pixel down and right while pressed, in a raised or
// (pressed) sunken edge unless flat.
#include "gui/win32/Peers.h"

namespace gui::win32 {

void PaintSpeedButton(HDC dc, TControl& c, const TRect& b, bool pressed) {
  const auto& button = static_cast<const TSpeedButton&>(c);
  const TBitmap& g = button.Glyph();
  int x = b.Left + (b.Width() - g.Width()) / 2, y = b.Top + (b.Height() - g.Height()) / 2;
  if (pressed) ++x, ++y;
  DrawBitmap(dc, x, y, g, true);
  if (button.Flat()) return;
  RECT rc{b.Left, b.Top, b.Right, b.Bottom};
  DrawEdge(dc, &rc, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
}

}  // namespace gui::win32
