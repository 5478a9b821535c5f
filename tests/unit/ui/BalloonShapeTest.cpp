#include <gtest/gtest.h>

#include <algorithm>

#include "ui/BalloonShape.h"

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

// ---- where the balloon lands ------------------------------------------------------------

TEST(BalloonPlace, PointerKindThreeAtTheMouseSitsBelowRightOfIt) {
  TBalloonShape s = Layout(500, 300, bpTopLeft);
  EXPECT_EQ(s.left, 480);
  EXPECT_EQ(s.top, 298);
}

TEST(BalloonPlace, TheTipIsOnTheAnchorForEveryKind) {
  for (int kind = 0; kind < 4; ++kind) {
    for (int x : {0, 37, 1279}) {
      TBalloonShape s = Layout(x, 411, kind);
      EXPECT_EQ(s.left + s.tip.x, x) << "kind " << kind;
      EXPECT_EQ(s.top + s.tip.y, 411) << "kind " << kind;
    }
  }
}

TEST(BalloonPlace, EachKindLiesOnItsSideOfTheAnchor) {
  const int x = 600, y = 400;
  TBalloonShape k0 = Layout(x, y, 0), k1 = Layout(x, y, 1), k2 = Layout(x, y, 2),
                k3 = Layout(x, y, 3);
  EXPECT_EQ(k0.top + k0.height, y);  // above
  EXPECT_EQ(k1.top + k1.height, y);
  EXPECT_GT(k2.top + k2.height, y);  // below
  EXPECT_GT(k3.top + k3.height, y);
  EXPECT_LT(k0.left, x - k0.width / 2);  // to the left: most of it left of the anchor
  EXPECT_LT(k2.left, x - k2.width / 2);
  EXPECT_EQ(k1.left, x - 20);            // to the right
  EXPECT_EQ(k3.left, x - 20);
}

TEST(BalloonPlace, NearAScreenEdgeNothingIsMovedBack) {
  TBalloonShape s = Layout(5, 3, bpBottomRight);
  EXPECT_LT(s.left, 0);
  EXPECT_LT(s.top, 0);
}

// ---- size ---------------------------------------------------------------------------------

TEST(BalloonSize, WidthIsTheWiderLabelPlusFortySoTheGlyphNeverCoversText) {
  for (int kind = 0; kind < 4; ++kind) {
    // Either label may be the wider one.
    for (int titleRight : {90, 300}) {
      Labels l = LabelsFor(kind);
      TBalloonShape s = LayoutBalloon(0, 0, kind, titleRight, 200, l.textTop, l.textHeight);
      const int widest = std::max(titleRight, 200);
      EXPECT_EQ(s.width, widest + 40);
      EXPECT_EQ(BalloonCloseGlyphOrigin(s.pointerOnTop, s.width).x, widest + 10);
    }
  }
}

TEST(BalloonSize, HeightReachesTenBelowTheTextPlusThePointerBelow) {
  for (int kind = 0; kind < 4; ++kind) {
    Labels l = LabelsFor(kind);
    TBalloonShape s = Layout(0, 0, kind);
    const int textBottom = l.textTop + l.textHeight;
    EXPECT_EQ(s.height, textBottom + (kind < 2 ? 30 : 10)) << "kind " << kind;
  }
}

TEST(BalloonSize, PointerOnTopMovesTitleIconAndTextDownTwenty) {
  EXPECT_EQ(BalloonTitleTop(bpBottomLeft), 12);
  EXPECT_EQ(BalloonTitleTop(bpTopLeft), 32);
  EXPECT_EQ(BalloonIconTop(bpBottomRight), 10);
  EXPECT_EQ(BalloonIconTop(bpTopRight), 30);
  EXPECT_EQ(BalloonTextTop(32, 13), 53);
}

// ---- shape --------------------------------------------------------------------------------

TEST(BalloonRegion, EveryLabelAndTheGlyphLieInsideTheBody) {
  for (int kind = 0; kind < 4; ++kind) {
    Labels l = LabelsFor(kind);
    TBalloonShape s = Layout(0, 0, kind);
    const int titleTop = BalloonTitleTop(kind);
    EXPECT_GE(titleTop, s.bodyTop + 3) << "kind " << kind;    // clear of the rounded corner
    EXPECT_GE(BalloonIconTop(kind), s.bodyTop + 3) << "kind " << kind;
    EXPECT_LE(l.textTop + l.textHeight, s.bodyBottom - 3) << "kind " << kind;
    TBalloonPoint g = BalloonCloseGlyphOrigin(s.pointerOnTop, s.width);
    EXPECT_GE(g.y, s.bodyTop + 3) << "kind " << kind;
    EXPECT_LE(g.x + 18, s.bodyRight - 3) << "kind " << kind;
  }
}

TEST(BalloonRegion, BodyIsThePartAwayFromThePointer) {
  TBalloonShape below = Layout(0, 0, bpBottomLeft);
  EXPECT_EQ(below.bodyTop, 0);
  EXPECT_EQ(below.bodyBottom, below.height - 18);
  TBalloonShape above = Layout(0, 0, bpTopRight);
  EXPECT_EQ(above.bodyTop, 22);
  EXPECT_EQ(above.bodyBottom, above.height);
  EXPECT_EQ(above.bodyRight, above.width);
}

TEST(BalloonRegion, PointerPointsInOrderAndItsBaseJoinsTheBody) {
  const int W = 250, H = 80;
  struct Case {
    int kind;
    TBalloonPoint p[3];
  } cases[] = {
      {0, {{W - 40, H - 20}, {W - 20, H}, {W - 20, H - 20}}},
      {1, {{20, H - 20}, {20, H}, {40, H - 20}}},
      {2, {{W - 20, 2}, {W - 20, 22}, {W - 40, 22}}},
      {3, {{20, 2}, {20, 22}, {40, 22}}},
  };
  for (const Case& c : cases) {
    // Labels that give exactly W x H.
    const int textTop = BalloonTextTop(BalloonTitleTop(c.kind), 13);
    const int textHeight = H - textTop - (c.kind < 2 ? 30 : 10);
    TBalloonShape s = LayoutBalloon(0, 0, c.kind, W - 40, 0, textTop, textHeight);
    ASSERT_EQ(s.width, W);
    ASSERT_EQ(s.height, H);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(s.pointer[i].x, c.p[i].x) << "kind " << c.kind << " point " << i;
      EXPECT_EQ(s.pointer[i].y, c.p[i].y) << "kind " << c.kind << " point " << i;
    }
    // The two base corners lie within the body's rows, so the union is one piece.
    int baseY = c.kind < 2 ? s.pointer[0].y : s.pointer[1].y;
    EXPECT_GE(baseY, s.bodyTop);
    EXPECT_LE(baseY, s.bodyBottom);
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
