// An image: its picture at its top-left corner, see-through where transparent.
#include "gui/win32/Peers.h"

namespace gui::win32 {

void PaintImage(HDC dc, TControl& c, const TRect& b, bool) {
  const auto& image = static_cast<const TImage&>(c);
  DrawBitmap(dc, b.Left, b.Top, image.Picture(), image.Transparent());
}

}  // namespace gui::win32
