// A label: its text in its font and colour, on its container's background.
#include "gui/win32/Peers.h"

namespace gui::win32 {

void PaintLabel(HDC dc, TControl& c, const TRect& b, bool) {
  const auto& label = static_cast<const TLabel&>(c);
  SelectObject(dc, FontFor(label.Font()));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(label.Font().Color));
  RECT rc{b.Left, b.Top, b.Right, b.Bottom};
  UINT flags = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | (label.WordWrap() ? DT_WORDBREAK : 0);
  const std::wstring text = Wide(label.Caption());
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
}

}  // namespace gui::win32
