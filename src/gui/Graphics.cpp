#include "gui/Graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "platform/Platform.h"

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
  return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void TBitmap::SetSize(int width, int height, TColor fill) {
  if (width < 0 || height < 0) width = height = 0;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = c;
}

namespace {
// Pictures larger than this are refused: no resource of ours comes near it, and a hostile
// header must not make us allocate gigabytes.
constexpr int kMaxSide = 8192;

std::uint32_t U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, std::uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Decodes an info header, its palette and the pixel rows. `bits` is the offset of the pixel
// data within `dib` (from the file header), or 0 to take it right after the palette.
void DecodeDib(const std::string& dib, size_t bits, int& w, int& h, std::vector<TColor>& out) {
  const auto* d = reinterpret_cast<const unsigned char*>(dib.data());
  if (dib.size() < 40) Invalid();
  std::uint32_t hdr = U32(d);
  if (hdr < 40 || hdr > dib.size()) Invalid();
  std::int32_t width = static_cast<std::int32_t>(U32(d + 4));
  std::int32_t height = static_cast<std::int32_t>(U32(d + 8));
  int bpp = U16(d + 14);
  std::uint32_t compression = U32(d + 16);
  std::uint32_t used = U32(d + 32);
  bool bottomUp = height > 0;
  if (height < -kMaxSide) Invalid();  // also -2^31, which has no positive value
  if (!bottomUp) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) Invalid();
  if (compression != 0 && !(compression == 3 && (bpp == 32))) Invalid();
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) Invalid();
  size_t paletteAt = hdr + (compression == 3 && hdr == 40 ? 12 : 0);
  size_t colors = bpp <= 8 ? (used ? used : (1u << bpp)) : 0;
  if (colors > 256) Invalid();
  if (paletteAt + colors * 4 > dib.size()) Invalid();
  std::vector<TColor> palette(colors);
  for (size_t i = 0; i < colors; ++i) {
    const unsigned char* q = d + paletteAt + i * 4;
    palette[i] = ColorFromRGB(q[2], q[1], q[0]);
  }
  if (bits == 0) bits = paletteAt + colors * 4;
  size_t stride = ((static_cast<size_t>(width) * static_cast<size_t>(bpp) + 31) / 32) * 4;
  if (bits > dib.size() || (dib.size() - bits) / stride < static_cast<size_t>(height)) Invalid();
  std::vector<TColor> px(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int row = 0; row < height; ++row) {
    const unsigned char* r = d + bits + stride * static_cast<size_t>(row);
    int y = bottomUp ? height - 1 - row : row;
    for (int x = 0; x < width; ++x) {
      TColor c;
      if (bpp == 24) {
        c = ColorFromRGB(r[x * 3 + 2], r[x * 3 + 1], r[x * 3]);
      } else if (bpp == 32) {
        c = ColorFromRGB(r[x * 4 + 2], r[x * 4 + 1], r[x * 4]);
      } else {
        int per = 8 / bpp;
        int byte = r[x / per];
        int shift = 8 - bpp * (x % per + 1);
        size_t idx = static_cast<size_t>((byte >> shift) & ((1 << bpp) - 1));
        if (idx >= palette.size()) Invalid();
        c = palette[idx];
      }
      px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = c;
    }
  }
  w = width;
  h = height;
  out.swap(px);
}
}  // namespace

void TBitmap::LoadFromFileImage(const std::string& bytes) {
  if (bytes.size() < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M') Invalid();
  std::uint32_t offBits = U32(reinterpret_cast<const unsigned char*>(bytes.data()) + 10);
  if (offBits < 14 + 40 || offBits >= bytes.size()) Invalid();
  int w = 0, h = 0;
  std::vector<TColor> px;
  DecodeDib(bytes.substr(14), offBits - 14, w, h, px);
  width_ = w;
  height_ = h;
  pixels_.swap(px);
}

void TBitmap::LoadFromDib(const std::string& bytes) {
  int w = 0, h = 0;
  std::vector<TColor> px;
  DecodeDib(bytes, 0, w, h, px);
  width_ = w;
  height_ = h;
  pixels_.swap(px);
}

std::string TBitmap::SaveToFileImage() const {
  size_t stride = ((static_cast<size_t>(width_) * 24 + 31) / 32) * 4;
  std::uint32_t size = static_cast<std::uint32_t>(54 + stride * static_cast<size_t>(height_));
  std::string s = "BM";
  Put32(s, size);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, static_cast<std::uint32_t>(width_));
  Put32(s, static_cast<std::uint32_t>(height_));
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, static_cast<std::uint32_t>(stride * static_cast<size_t>(height_)));
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  for (int y = height_ - 1; y >= 0; --y) {
    size_t start = s.size();
    for (int x = 0; x < width_; ++x) {
      TColor c = Pixel(x, y);
      s += static_cast<char>((c >> 16) & 0xFF);
      s += static_cast<char>((c >> 8) & 0xFF);
      s += static_cast<char>(c & 0xFF);
    }
    while (s.size() - start < stride) s += '\0';
  }
  return s;
}

TWindowRegion& TWindowRegion::AddRoundRect(int x1, int y1, int x2, int y2, int ew, int eh) {
  TRegionShape s;
  s.kind = TRegionShape::RoundRect;
  s.X1 = x1;
  s.Y1 = y1;
  s.X2 = x2;
  s.Y2 = y2;
  s.EllipseW = ew;
  s.EllipseH = eh;
  Shapes.push_back(s);
  return *this;
}

TWindowRegion& TWindowRegion::AddPolygon(std::vector<TPoint> points, bool winding) {
  TRegionShape s;
  s.kind = TRegionShape::Polygon;
  s.Points = std::move(points);
  s.Winding = winding;
  Shapes.push_back(s);
  return *this;
}

namespace gui {

int ScaleLength(int designPixels, int pixelsPerInch) {
  const long long scaled = static_cast<long long>(designPixels < 0 ? -designPixels : designPixels) * pixelsPerInch;
  const int rounded = static_cast<int>((scaled + kDesignPixelsPerInch / 2) / kDesignPixelsPerInch);
  return designPixels < 0 ? -rounded : rounded;
}

TFont ScaleFont(const TFont& design, int pixelsPerInch) {
  TFont f = design;
  f.Height = ScaleLength(design.Height, pixelsPerInch);
  return f;
}

namespace {
// The pictures are flat drawings, a tenth of their size or less once compressed: each is a
// complete .bmp file in a zlib stream, a resource of this type.
constexpr const char* kCompressedPictureType = "ZBMP";
// No picture of ours comes near this once inflated (the largest is 24 KB); a damaged or
// hostile stream stops here instead of filling memory.
constexpr size_t kMaxInflatedPictureBytes = 1 << 20;

std::string InflatePicture(const std::string& packed) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) Invalid();
  std::string out;
  char buffer[16384];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  z.avail_in = static_cast<uInt>(packed.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > kMaxInflatedPictureBytes) rc = Z_DATA_ERROR;
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) Invalid();
  return out;
}

bool LoadPictureResource(const std::string& name, int percent, TBitmap& picture) {
  std::string bytes;
  const std::string resource = percent == 100 ? name : name + "_" + std::to_string(percent);
  if (!platform::FindModuleResource(resource, kCompressedPictureType, bytes)) return false;
  picture.LoadFromFileImage(InflatePicture(bytes));
  return true;
}
}  // namespace

TBitmap LoadScaledPicture(const std::string& name, int pixelsPerInch) {
  // The scale asked for, in percent; a picture drawn within a step of it is the one (120 dpi
  // is 125 %, 144 dpi 150 %).
  const int wanted = ScaleLength(100, pixelsPerInch);
  int exact = 0, above = 0, largest = 0;
  for (int percent : kPictureScales) {
    if (std::abs(percent - wanted) <= 2) exact = percent;
    if (percent > wanted && !above) above = percent;
    largest = percent;
  }
  TBitmap picture;
  if (exact && LoadPictureResource(name, exact, picture)) return picture;
  // Drawn larger, scaled down to the size the design has at this resolution.
  for (int percent : kPictureScales) {
    if (percent < (above ? above : largest)) continue;
    if (!LoadPictureResource(name, percent, picture)) continue;
    const int designW = (picture.Width() * 100 + percent / 2) / percent;
    const int designH = (picture.Height() * 100 + percent / 2) / percent;
    return ResizePicture(picture, ScaleLength(designW, pixelsPerInch), ScaleLength(designH, pixelsPerInch));
  }
  // Only the design's picture: as it is, never stretched up.
  if (LoadPictureResource(name, 100, picture)) return picture;
  throw EResNotFound("Resource " + name + " not found");
}

TBitmap ResizePicture(const TBitmap& src, int width, int height) {
  TBitmap out;
  if (src.Empty() || width <= 0 || height <= 0) return out;
  if (width == src.Width() && height == src.Height()) return src;
  out.SetSize(width, height);
  const TColor key = src.TransparentColor();
  for (int y = 0; y < height; ++y) {
    const int y0 = y * src.Height() / height, y1 = std::max(y0 + 1, (y + 1) * src.Height() / height);
    for (int x = 0; x < width; ++x) {
      const int x0 = x * src.Width() / width, x1 = std::max(x0 + 1, (x + 1) * src.Width() / width);
      long r = 0, g = 0, b = 0, n = 0, keys = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const TColor c = src.Pixel(sx, sy);
          if (c == key) {
            ++keys;
            continue;
          }
          r += c & 0xFF, g += (c >> 8) & 0xFF, b += (c >> 16) & 0xFF, ++n;
        }
      out.SetPixel(x, y,
                   keys * 2 >= keys + n || n == 0
                       ? key
                       : ColorFromRGB(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)));
    }
  }
  // The see-through key stays where a transparent picture looks for it.
  out.SetPixel(0, height - 1, key);
  return out;
}

}  // namespace gui
