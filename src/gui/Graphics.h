#pragma once
// Colours, fonts, bitmaps, window regions and the drawing surface handed to paint handlers.
#include <cstdint>
#include <string>
#include <vector>

#include "base/SysUtils.h"

/// A colour as 0x00BBGGRR, or a system colour index with the high bit set (0x800000nn).
using TColor = std::uint32_t;

constexpr TColor ColorFromRGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clSilver = 0xC0C0C0;
// System colours (resolved by the backend).
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clInfoBk = 0x80000018;
constexpr TColor clNone = 0x1FFFFFFF;

constexpr bool IsSystemColor(TColor c) { return (c & 0x80000000u) != 0; }

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4 };
// Character sets (the window system's numbers).
constexpr int kDefaultCharset = 1;
constexpr int kGB2312Charset = 134;

/// A font by name and height. Height < 0 is the character height in pixels (12 px is -12),
/// as a window designer gives it; 0 means the system default.
struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  unsigned Style = 0;
  TColor Color = clWindowText;
  int Charset = kDefaultCharset;

  bool Bold() const { return (Style & fsBold) != 0; }
  bool Underline() const { return (Style & fsUnderline) != 0; }
  /// The character height in pixels (never negative).
  int PixelHeight() const { return Height < 0 ? -Height : Height == 0 ? 11 : Height; }
  bool operator==(const TFont& o) const {
    return Name == o.Name && Height == o.Height && Style == o.Style && Color == o.Color && Charset == o.Charset;
  }
  bool operator!=(const TFont& o) const { return !(*this == o); }
};

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint& o) const { return X == o.X && Y == o.Y; }
};
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

SETUPTQ_EXCEPTION(EInvalidGraphic, Exception);

/// A 24-bit picture held as rows of TColor values, top row first.
class TBitmap {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TColor Pixel(int x, int y) const;
  void SetSize(int width, int height, TColor fill = clWhite);
  void SetPixel(int x, int y, TColor c);
  /// The see-through colour of a transparent picture: its bottom-left pixel.
  TColor TransparentColor() const { return Empty() ? clNone : Pixel(0, height_ - 1); }

  /// Loads the bytes of a complete .bmp file (file header included). Uncompressed 1, 4, 8,
  /// 24 and 32 bits per pixel. Raises EInvalidGraphic "Bitmap image is not valid" on
  /// anything else; the picture is then unchanged.
  void LoadFromFileImage(const std::string& bytes);
  /// Loads a device-independent bitmap without the file header (a "bitmap" resource).
  void LoadFromDib(const std::string& bytes);
  /// The picture as a .bmp file image (24 bits per pixel).
  std::string SaveToFileImage() const;

  const std::vector<TColor>& Pixels() const { return pixels_; }

 private:
  int width_ = 0, height_ = 0;
  std::vector<TColor> pixels_;
};

SETUPTQ_EXCEPTION(EResNotFound, Exception);

namespace gui {
/// The resolution the windows are designed for.
constexpr int kDesignPixelsPerInch = 96;
/// A length of the design at `pixelsPerInch`, rounded to the nearest pixel (halves away from 0).
int ScaleLength(int designPixels, int pixelsPerInch);
/// The font with its height scaled from the design to `pixelsPerInch`.
TFont ScaleFont(const TFont& design, int pixelsPerInch);
/// The scales the program's pictures are drawn at, in percent. Each picture is a resource of
/// type "ZBMP", a complete .bmp file in a zlib stream: at 100 % named `name`, at the others
/// `name`, "_" and the scale (BINSTALL_150).
constexpr int kPictureScales[] = {100, 125, 150, 200};
/// Loads the picture `name` as drawn for `pixelsPerInch`: the one drawn at that scale, 1:1;
/// where none is, the next larger one scaled down (above the largest, the largest scaled up).
/// Raises EResNotFound when the picture is missing at every scale.
TBitmap LoadScaledPicture(const std::string& name, int pixelsPerInch);
/// The picture resized to width x height by averaging the pixels each new one covers; the
/// see-through colour (bottom-left pixel) stays exact where it covers most of a pixel.
TBitmap ResizePicture(const TBitmap& picture, int width, int height);
}  // namespace gui

/// A window region: the union of its shapes, in window coordinates.
struct TRegionShape {
  enum Kind { RoundRect, Polygon } kind = RoundRect;
  // RoundRect: the rectangle (X1, Y1)-(X2, Y2) with a corner ellipse EllipseW x EllipseH.
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, EllipseW = 0, EllipseH = 0;
  // Polygon: the points in order, winding fill when Winding, else alternate.
  std::vector<TPoint> Points;
  bool Winding = true;
};
struct TWindowRegion {
  std::vector<TRegionShape> Shapes;
  bool Empty() const { return Shapes.empty(); }
  TWindowRegion& AddRoundRect(int x1, int y1, int x2, int y2, int ew, int eh);
  TWindowRegion& AddPolygon(std::vector<TPoint> points, bool winding = true);
};

/// The surface a paint handler draws on, in client coordinates.
class TCanvas {
 public:
  virtual ~TCanvas() = default;
  /// Frames the window's current region (its client rectangle when it has none) with a
  /// brush of `color`, `width` pixels wide and `height` pixels high.
  virtual void FrameWindowRegion(TColor color, int width, int height) = 0;
  /// Draws the bitmap with its top-left corner at (x, y); an empty bitmap draws nothing.
  virtual void Draw(int x, int y, const TBitmap& bitmap) = 0;
  virtual void FillRect(const TRect& r, TColor color) = 0;
  virtual void TextOut(int x, int y, const std::string& text, const TFont& font) = 0;
};
