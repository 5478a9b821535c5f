#pragma once
// The balloon's geometry: size, place on the screen and window region, from the extents of
// its two labels. Pure arithmetic, so the window code only applies it. The lengths below are
// the design's (96 pixels per inch); each is scaled once to the balloon's resolution.
#include "gui/Graphics.h"

/// Pointer kinds: the corner that carries the pointer, whose tip lands on the anchor.
enum TBalloonPointer {
  bpBottomRight = 0,  // balloon above and to the left of the anchor
  bpBottomLeft = 1,   // above and to the right
  bpTopRight = 2,     // below and to the left
  bpTopLeft = 3,      // below and to the right
};

struct TBalloonPoint {
  int x = 0, y = 0;
};

struct TBalloonShape {
  bool pointerOnTop = false;
  int width = 0, height = 0;  // the whole window; it has no frame
  int left = 0, top = 0;      // screen position of the window
  // Body: rounded rectangle from (bodyLeft, bodyTop) to (bodyRight, bodyBottom), corner
  // ellipse kCornerEllipse x kCornerEllipse.
  int bodyLeft = 0, bodyTop = 0, bodyRight = 0, bodyBottom = 0;
  TBalloonPoint pointer[3];  // the triangle's corners, in this order (winding fill)
  TBalloonPoint tip;         // the pointer's tip in window coordinates
  int cornerEllipse = 0;     // the body's corner ellipse, scaled
};

constexpr int kBalloonCornerEllipse = 7;
constexpr int kBalloonPointerSize = 20;  // the pointer is 20 pixels wide and 20 long
constexpr int kBalloonTitleLeft = 34, kBalloonTitleTop = 12;
constexpr int kBalloonTextLeft = 10;
constexpr int kBalloonIconLeft = 10, kBalloonIconTop = 10;

/// Pointer kinds outside 0..3 are laid out as kind 3.
int NormalizeBalloonPointer(int kind);
/// True for the kinds whose pointer is above the body (2 and 3).
bool BalloonPointerOnTop(int kind);
/// Top of the title label and the icon: their design places, 20 pixels lower when the
/// pointer is on top.
int BalloonTitleTop(int kind, int pixelsPerInch = gui::kDesignPixelsPerInch);
int BalloonIconTop(int kind, int pixelsPerInch = gui::kDesignPixelsPerInch);
/// The text label sits 8 pixels below the title label.
int BalloonTextTop(int titleTop, int titleHeight, int pixelsPerInch = gui::kDesignPixelsPerInch);

/// Size, place and region for an anchor (x, y) and the labels' extents: the window is as
/// wide as the wider label's right edge + 40 (room for the close glyph) and reaches 10
/// pixels below the text, plus the pointer's 20 for kinds 0 and 1.
TBalloonShape LayoutBalloon(int x, int y, int kind, int titleRight, int textRight, int textTop, int textHeight,
                            int pixelsPerInch = gui::kDesignPixelsPerInch);

/// Top-left corner of the close glyph: 30 pixels from the right edge, near the body's top.
TBalloonPoint BalloonCloseGlyphOrigin(bool pointerOnTop, int width, int pixelsPerInch = gui::kDesignPixelsPerInch);
