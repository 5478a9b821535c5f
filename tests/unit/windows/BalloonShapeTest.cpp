#include <gtest/gtest.h>

#include "windows/BalloonShape.h"

namespace {

// A balloon with a title 120 pixels wide and a two-line text 180 pixels wide (13-pixel lines).
struct Labels {
  int titleRight, textRight, textTop, textHeight;
};
Labels LabelsFor(int kind) {
  const int titleTop = BalloonTitleTop(kind);
  return {kBalloonTitleLeft + 120, kBalloonTextLeft + 180, BalloonTextTop(titleTop, 13), 26};
}
TBalloonShape Layout(int x, int y, int kind) {
  Labels l = LabelsFor(kind);
  return LayoutBalloon(x, y, kind, l.titleRight, l.textRight, l.textTop, l.textHeight);
}

}  // namespace

// What the window tests do not see: where labels fall inside the shape, and odd arguments.

TEST(BalloonPlace, NearAScreenEdgeNothingIsMovedBack) {
  TBalloonShape s = Layout(5, 3, bpBottomRight);
  EXPECT_LT(s.left, 0);
  EXPECT_LT(s.top, 0);
}

TEST(BalloonRegion, EveryLabelAndTheGlyphLieInsideTheBody) {
  for (int kind = 0; kind < 4; ++kind) {
    Labels l = LabelsFor(kind);
    TBalloonShape s = Layout(0, 0, kind);
    const int titleTop = BalloonTitleTop(kind);
    EXPECT_GE(titleTop, s.bodyTop + 3) << "kind " << kind;  // clear of the rounded corner
    EXPECT_GE(BalloonIconTop(kind), s.bodyTop + 3) << "kind " << kind;
    EXPECT_LE(l.textTop + l.textHeight, s.bodyBottom - 3) << "kind " << kind;
    TBalloonPoint g = BalloonCloseGlyphOrigin(s.pointerOnTop, s.width);
    EXPECT_GE(g.y, s.bodyTop + 3) << "kind " << kind;
    EXPECT_LE(g.x + 18, s.bodyRight - 3) << "kind " << kind;
  }
}

TEST(BalloonRegion, UnknownPointerKindsAreLaidOutLikeKindThree) {
  for (int kind : {-1, 4, 99}) {
    TBalloonShape odd = Layout(300, 200, kind), three = Layout(300, 200, bpTopLeft);
    EXPECT_EQ(odd.left, three.left);
    EXPECT_EQ(odd.top, three.top);
    EXPECT_EQ(odd.height, three.height);
    EXPECT_EQ(odd.tip.x, three.tip.x);
    EXPECT_TRUE(odd.pointerOnTop);
  }
}
