#include "windows/BalloonShape.h"

#include <algorithm>

int NormalizeBalloonPointer(int kind) { return kind >= 0 && kind <= 3 ? kind : bpTopLeft; }

bool BalloonPointerOnTop(int kind) {
  kind = NormalizeBalloonPointer(kind);
  return kind == bpTopRight || kind == bpTopLeft;
}

int BalloonTitleTop(int kind, int ppi) {
  return gui::ScaleLength(kBalloonTitleTop + (BalloonPointerOnTop(kind) ? kBalloonPointerSize : 0), ppi);
}

int BalloonIconTop(int kind, int ppi) {
  return gui::ScaleLength(kBalloonIconTop + (BalloonPointerOnTop(kind) ? kBalloonPointerSize : 0), ppi);
}

int BalloonTextTop(int titleTop, int titleHeight, int ppi) { return titleTop + titleHeight + gui::ScaleLength(8, ppi); }

TBalloonShape LayoutBalloon(int x, int y, int kind, int titleRight, int textRight, int textTop, int textHeight,
                            int ppi) {
  const auto S = [ppi](int designPixels) { return gui::ScaleLength(designPixels, ppi); };
  kind = NormalizeBalloonPointer(kind);
  const int p = S(kBalloonPointerSize);
  TBalloonShape s;
  s.pointerOnTop = BalloonPointerOnTop(kind);
  s.cornerEllipse = S(kBalloonCornerEllipse);
  s.height = textTop + textHeight + S(10) + (s.pointerOnTop ? 0 : p);
  s.width = std::max(titleRight, textRight) + S(10 + 30);
  const int W = s.width, H = s.height;

  // Place the window so that the pointer's tip is on (x, y); no clamping to the screen.
  const bool pointerRight = kind == bpBottomRight || kind == bpTopRight;
  s.left = pointerRight ? x - (W - p) : x - p;
  s.top = s.pointerOnTop ? y - S(2) : y - H;

  if (s.pointerOnTop) {
    s.bodyLeft = 0, s.bodyTop = S(22), s.bodyRight = W, s.bodyBottom = H;
  } else {
    s.bodyLeft = 0, s.bodyTop = 0, s.bodyRight = W, s.bodyBottom = H - S(18);
  }
  const int p2 = S(2 * kBalloonPointerSize), top = S(2), base = S(22);
  switch (kind) {
    case bpBottomRight: s.pointer[0] = {W - p2, H - p}, s.pointer[1] = {W - p, H}, s.pointer[2] = {W - p, H - p}; break;
    case bpBottomLeft: s.pointer[0] = {p, H - p}, s.pointer[1] = {p, H}, s.pointer[2] = {p2, H - p}; break;
    case bpTopRight: s.pointer[0] = {W - p, top}, s.pointer[1] = {W - p, base}, s.pointer[2] = {W - p2, base}; break;
    default:  // bpTopLeft
      s.pointer[0] = {p, top}, s.pointer[1] = {p, base}, s.pointer[2] = {p2, base};
      break;
  }
  s.tip = s.pointerOnTop ? s.pointer[0] : s.pointer[1];
  return s;
}

TBalloonPoint BalloonCloseGlyphOrigin(bool pointerOnTop, int width, int ppi) {
  return {width - gui::ScaleLength(30, ppi), gui::ScaleLength(pointerOnTop ? 26 : 6, ppi)};
}
