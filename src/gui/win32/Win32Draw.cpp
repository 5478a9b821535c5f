#include "gui/win32/Win32Draw.h"

#include <tuple>
#include <utility>
#include <vector>

namespace gui::win32 {

COLORREF ToColorRef(TColor c) {
  if (IsSystemColor(c)) return GetSysColor(static_cast<int>(c & 0xFF));
  return static_cast<COLORREF>(c & 0xFFFFFF);
}

HFONT FontFor(const TFont& f) {
  // One font object per face, height, style and character set, for the run: the windows use
  // a handful.
  using Key = std::tuple<std::string, int, unsigned, int>;
  static std::vector<std::pair<Key, HFONT>> cache;
  Key key{f.Name, f.Height, f.Style, f.Charset};
  for (const auto& [known, font] : cache)
    if (known == key) return font;
  // The face name is a text of the program ("宋体"): the wide call finds the face by its
  // name whatever the system's code page.
  HFONT h = CreateFontW(f.Height, 0, 0, 0, f.Bold() ? FW_BOLD : FW_NORMAL, (f.Style & fsItalic) ? TRUE : FALSE,
                        f.Underline() ? TRUE : FALSE, FALSE, static_cast<BYTE>(f.Charset), OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(f.Name).c_str());
  if (!h) h = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  cache.emplace_back(std::move(key), h);
  return h;
}

namespace {
// A top-down 32-bit section holding the picture; freed with the object.
class DibSection {
 public:
  explicit DibSection(const TBitmap& b) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = b.Width();
    bi.bmiHeader.biHeight = -b.Height();
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bmp_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp_ || !bits) return;
    auto* px = static_cast<DWORD*>(bits);
    for (size_t i = 0; i < b.Pixels().size(); ++i) {
      TColor c = b.Pixels()[i];
      px[i] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bmp_);
  }
  ~DibSection() {
    if (dc_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bmp_) DeleteObject(bmp_);
  }
  DibSection(const DibSection&) = delete;
  DibSection& operator=(const DibSection&) = delete;
  HDC dc() const { return dc_; }

 private:
  HBITMAP bmp_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};
}  // namespace

void DrawBitmap(HDC dc, int x, int y, const TBitmap& b, bool transparent) {
  if (b.Empty()) return;
  DibSection src(b);
  if (!src.dc()) return;
  if (!transparent) {
    BitBlt(dc, x, y, b.Width(), b.Height(), src.dc(), 0, 0, SRCCOPY);
    return;
  }
  // A see-through colour by a mask, with gdi32 alone: msimg32 (TransparentBlt) is not a known
  // system DLL, so importing it would let a msimg32.dll planted beside the program load
  // before any code of ours runs.
  const TColor see = b.TransparentColor();
  TBitmap opaque = b;  // the see-through pixels black, so that OR leaves the background
  const int w = b.Width(), h = b.Height();
  const int stride = ((w + 15) / 16) * 2;  // monochrome rows are word aligned
  std::vector<unsigned char> maskBits(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px)
      if (b.Pixel(px, py) == see) {
        opaque.SetPixel(px, py, clBlack);
        maskBits[static_cast<size_t>(py * stride + px / 8)] |= static_cast<unsigned char>(0x80 >> (px % 8));
      }
  HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());
  if (!mask) return;
  HDC maskDc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldMask = SelectObject(maskDc, mask);
  DibSection fill(opaque);
  COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, x, y, w, h, maskDc, 0, 0, SRCAND);  // clears the opaque pixels, keeps the rest
  if (fill.dc()) BitBlt(dc, x, y, w, h, fill.dc(), 0, 0, SRCPAINT);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
  SelectObject(maskDc, oldMask);
  DeleteDC(maskDc);
  DeleteObject(mask);
}

void Win32Canvas::FrameWindowRegion(TColor color, int width, int height) {
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  if (!rgn) return;
  if (GetWindowRgn(wnd_, rgn) == ERROR) {
    RECT r;
    GetClientRect(wnd_, &r);
    SetRectRgn(rgn, r.left, r.top, r.right, r.bottom);
  }
  HBRUSH brush = CreateSolidBrush(ToColorRef(color));
  if (brush) {
    FrameRgn(dc_, rgn, brush, width, height);
    DeleteObject(brush);
  }
  DeleteObject(rgn);
}

void Win32Canvas::Draw(int x, int y, const TBitmap& bitmap) { DrawBitmap(dc_, x, y, bitmap, false); }

void Win32Canvas::FillRect(const TRect& r, TColor color) {
  HBRUSH brush = CreateSolidBrush(ToColorRef(color));
  if (!brush) return;
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  ::FillRect(dc_, &rc, brush);
  DeleteObject(brush);
}

void Win32Canvas::TextOut(int x, int y, const std::string& text, const TFont& font) {
  HGDIOBJ old = SelectObject(dc_, FontFor(font));
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, ToColorRef(font.Color));
  const std::wstring wide = Wide(text);
  ::TextOutW(dc_, x, y, wide.c_str(), static_cast<int>(wide.size()));
  SelectObject(dc_, old);
}

}  // namespace gui::win32
