#include "windows/BalloonShape.h"

#include <algorithm>

int NormalizeBalloonPointer(int kind) { return kind >= 0 && kind <= 3 ? kind : bpTopLeft; }

bool BalloonPointerOnTop(int kind) {
  kind = NormalizeBalloonPointer(kind);
  return kind == bpTopRight || kind == bpTopLeft;
}

int BalloonTitleTop(int kind) { return kBalloonTitleTop + (BalloonPointerOnTop(kind) ? kBalloonPointerSize : 0); }

int BalloonIconTop(int kind) { return kBalloonIconTop + (BalloonPointerOnTop(kind) ? kBalloonPointerSize : 0); }

int BalloonTextTop(int titleTop, int titleHeight) { return titleTop + titleHeight + 8; }

TBalloonShape LayoutBalloon(int x, int y, int kind, int titleRight, int textRight, int textTop, int textHeight) {
  kind = NormalizeBalloonPointer(kind);
  const int p = kBalloonPointerSize;
  TBalloonShape s;
  s.pointerOnTop = BalloonPointerOnTop(kind);
  s.height = textTop + textHeight + 10 + (s.pointerOnTop ? 0 : p);
  s.width = std::max(titleRight, textRight) + 10 + 30;
  const int W = s.width, H = s.height;

  // Place the window so that the pointer's tip is on (x, y); no clamping to the screen.
  const bool pointerRight = kind == bpBottomRight || kind == bpTopRight;
  s.left = pointerRight ? x - (W - p) : x - p;
  s.top = s.pointerOnTop ? y - 2 : y - H;

  if (s.pointerOnTop) {
    s.bodyLeft = 0, s.bodyTop = 22, s.bodyRight = W, s.bodyBottom = H;
  } else {
    s.bodyLeft = 0, s.bodyTop = 0, s.bodyRight = W, s.bodyBottom = H - 18;
  }
  switch (kind) {
    case bpBottomRight:
      s.pointer[0] = {W - 40, H - 20}, s.pointer[1] = {W - 20, H}, s.pointer[2] = {W - 20, H - 20};
      break;
    case bpBottomLeft: s.pointer[0] = {20, H - 20}, s.pointer[1] = {20, H}, s.pointer[2] = {40, H - 20}; break;
    case bpTopRight: s.pointer[0] = {W - 20, 2}, s.pointer[1] = {W - 20, 22}, s.pointer[2] = {W - 40, 22}; break;
    default:  // bpTopLeft
      s.pointer[0] = {20, 2}, s.pointer[1] = {20, 22}, s.pointer[2] = {40, 22};
      break;
  }
  s.tip = s.pointerOnTop ? s.pointer[0] : s.pointer[1];
  return s;
}

TBalloonPoint BalloonCloseGlyphOrigin(bool pointerOnTop, int width) { return {width - 30, pointerOnTop ? 26 : 6}; }
