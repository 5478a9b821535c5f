#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LauncherState.h"
#include "TestSeams.h"
#include "gui/headless/Headless.h"
#include "platform/Platform.h"
#include "settings/allparam.h"
#include "windows/Balloon.h"

namespace hl = gui::headless;

namespace {

const char* const kMirror = "http://127.0.0.15:8080/";

class BalloonNotice : public ::testing::Test {
 protected:
  void SetUp() override {
    testseams::ResetLauncherState();
    SetBalloonWait([this](unsigned ms) { waits.push_back(ms); });
    FirstMirrorUrl = kMirror;
  }
  void TearDown() override { testseams::ResetLauncherState(); }

  static TBalloon& Show(int x, int y, int kind, const std::string& title = "Title",
                        const std::string& text = "Body text", int icon = 0, int seconds = 20) {
    ShowBalloon(x, y, title, text, icon, seconds, kind);
    EXPECT_NE(CurrentBalloon(), nullptr);
    return *CurrentBalloon();
  }
  static int Right(const TControl& c) { return c.Left() + c.Width(); }
  static int Bottom(const TControl& c) { return c.Top() + c.Height(); }

  std::vector<unsigned> waits;
};

}  // namespace

// ---- where the balloon appears and how big it is ------------------------------------

TEST_F(BalloonNotice, AtTheCursorWithKindThreeItsCornerIsTwentyLeftAndTwoAbove) {
  platform::SetCursorPos(500, 300);
  ShowBalloonAtCursor("Title", "Text");
  TBalloon* b = CurrentBalloon();
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->Visible());
  EXPECT_EQ(b->Left(), 480);
  EXPECT_EQ(b->Top(), 298);
  // The information icon, hidden after 20 seconds.
  EXPECT_EQ(b->IconImage->Picture().Width(), 16);
  EXPECT_EQ(b->HideTimer->Interval(), 20000u);
  EXPECT_TRUE(b->HideTimer->Enabled());
}

TEST_F(BalloonNotice, ThePointersTipTouchesTheAnchorForEveryKind) {
  for (int kind = 0; kind < 4; ++kind) {
    TBalloon& b = Show(640, 480, kind);
    const TRegionShape& tri = b.WindowRegion().Shapes.at(1);
    ASSERT_EQ(tri.kind, TRegionShape::Polygon);
    // The tip is the triangle's corner that lies on the window's edge.
    const TPoint tip = tri.Points.at(kind < 2 ? 1 : 0);
    EXPECT_EQ(b.Left() + tip.X, 640) << "kind " << kind;
    EXPECT_EQ(b.Top() + tip.Y, 480) << "kind " << kind;
  }
}

TEST_F(BalloonNotice, WidthIsTheWidestLabelsRightEdgePlusForty) {
  TBalloon& longTitle = Show(100, 100, 3, "A rather long title for this notice", "short");
  EXPECT_GT(Right(*longTitle.TitleLabel), Right(*longTitle.TextLabel));
  EXPECT_EQ(longTitle.Width(), Right(*longTitle.TitleLabel) + 40);

  TBalloon& longText = Show(100, 100, 3, "T", "A body text that is clearly wider than its title");
  EXPECT_GT(Right(*longText.TextLabel), Right(*longText.TitleLabel));
  EXPECT_EQ(longText.Width(), Right(*longText.TextLabel) + 40);
  // The close glyph starts 10 pixels right of the text, so it covers none of it.
  const auto ops = hl::Paint(longText);
  auto glyph = std::find_if(ops.begin(), ops.end(), [](const hl::PaintOp& op) { return op.kind == hl::PaintOp::Draw; });
  ASSERT_NE(glyph, ops.end());
  EXPECT_EQ(glyph->x, Right(*longText.TextLabel) + 10);
}

TEST_F(BalloonNotice, HeightEndsTenBelowTheTextWithRoomForAPointerBelow) {
  for (int kind = 0; kind < 4; ++kind) {
    TBalloon& b = Show(300, 300, kind, "Title", "line one\r\nline two");
    EXPECT_EQ(b.TextLabel->Top(), Bottom(*b.TitleLabel) + 8);
    EXPECT_EQ(b.Height(), Bottom(*b.TextLabel) + (kind < 2 ? 30 : 10)) << "kind " << kind;
  }
}

TEST_F(BalloonNotice, RegionIsARoundedBodyUnitedWithTheTriangle) {
  TBalloon& low = Show(300, 300, 0);
  const int W = low.Width(), H = low.Height();
  const auto& s = low.WindowRegion().Shapes;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].kind, TRegionShape::RoundRect);
  EXPECT_EQ(std::vector<int>({s[0].X1, s[0].Y1, s[0].X2, s[0].Y2, s[0].EllipseW, s[0].EllipseH}),
            std::vector<int>({0, 0, W, H - 18, 7, 7}));
  EXPECT_TRUE(s[1].Winding);
  EXPECT_EQ(s[1].Points, std::vector<TPoint>({{W - 40, H - 20}, {W - 20, H}, {W - 20, H - 20}}));

  TBalloon& high = Show(300, 300, 3);
  const int H3 = high.Height();
  const auto& t = high.WindowRegion().Shapes;
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(std::vector<int>({t[0].X1, t[0].Y1, t[0].X2, t[0].Y2}), std::vector<int>({0, 22, high.Width(), H3}));
  EXPECT_EQ(t[1].Points, std::vector<TPoint>({{20, 2}, {20, 22}, {40, 22}}));
}

// ---- texts, icons and window kind ----------------------------------------------------

TEST_F(BalloonNotice, BodyTextIsTrimmedAndTheTitleKeptAsGiven) {
  TBalloon& b = Show(10, 10, 3, "  spaced title ", " \r\n\tbody text \r\n ");
  EXPECT_EQ(b.TextLabel->Caption(), "body text");
  EXPECT_EQ(b.TitleLabel->Caption(), "  spaced title ");
  EXPECT_TRUE(b.TitleLabel->Font().Bold());
  EXPECT_FALSE(b.TextLabel->Font().Bold());
}

TEST_F(BalloonNotice, IconKindPicksInfoErrorOrWarningAndAnythingElseInfo) {
  auto iconOf = [](int kind) {
    return gui::LoadScaledPicture(kind == 1   ? "ERROR"
                                  : kind == 2 ? "WARNING"
                                              : "INFO",
                                  gui::kDesignPixelsPerInch)
        .Pixels();
  };
  for (int icon : {0, 1, 2, 3, -1}) {
    TBalloon& b = Show(10, 10, 3, "T", "x", icon);
    EXPECT_EQ(b.IconImage->Picture().Pixels(), iconOf(icon)) << "icon " << icon;
  }
  EXPECT_NE(iconOf(0), iconOf(1));
  EXPECT_NE(iconOf(1), iconOf(2));
}

TEST_F(BalloonNotice, WindowIsAPopupToolWindowOnTopThatNeverTakesTheFocus) {
  TBalloon& b = Show(10, 10, 3);
  hl::WindowRecord r = hl::Record(b);
  ASSERT_TRUE(r.created);
  EXPECT_EQ(r.params.Style & (gui::kWsBorder | gui::kWsDlgFrame), 0u);
  EXPECT_NE(r.params.Style & gui::kWsPopup, 0u);
  const std::uint32_t ex = gui::kWsExTopmost | gui::kWsExToolWindow | gui::kWsExNoActivate;
  EXPECT_EQ(r.params.ExStyle & ex, ex);
  EXPECT_EQ(r.params.WndParent, gui::kDesktopWindow);
  // Shown once, with the command that does not activate it: the focus stays where it was.
  EXPECT_EQ(r.showCommands, std::vector<int>({gui::kSwShowNoActivate}));
  EXPECT_EQ(r.activations, 0);
  // Shown, it places itself topmost without moving, sizing or activating.
  ASSERT_FALSE(r.zOrder.empty());
  EXPECT_EQ(r.zOrder.back().insertAfter, gui::kHwndTopmost);
  EXPECT_EQ(r.zOrder.back().flags, 0x0013u);
}

// ---- replacing, hiding and clicking ---------------------------------------------------

TEST_F(BalloonNotice, ASecondBalloonReplacesTheFirstAfterTheWaitLeavingOne) {
  const int before = TForm::InstanceCount();
  TBalloon* first = &Show(100, 100, 3, "first");
  bool firstVisibleDuringWait = false;
  SetBalloonWait([&](unsigned ms) {
    waits.push_back(ms);
    firstVisibleDuringWait = first->Visible() && CurrentBalloon() == first;
  });
  TBalloon* second = &Show(700, 500, 3, "second");
  EXPECT_EQ(waits, std::vector<unsigned>({200}));
  EXPECT_TRUE(firstVisibleDuringWait);
  EXPECT_NE(second, first);
  EXPECT_EQ(CurrentBalloon(), second);
  EXPECT_TRUE(second->Visible());
  EXPECT_EQ(second->Left(), 680);
  EXPECT_EQ(second->Top(), 498);
  Application->ProcessMessages();  // the loop deletes the released balloon
  EXPECT_EQ(TForm::InstanceCount(), before + 1);
}

TEST_F(BalloonNotice, HidesByItselfAfterItsSeconds) {
  TBalloon& b = Show(10, 10, 3, "T", "x", 0, 20);
  hl::RunFor(19999);
  EXPECT_TRUE(b.Visible());
  hl::RunFor(1);
  EXPECT_FALSE(b.Visible());
  // Later ticks only hide it again.
  hl::RunFor(40000);
  EXPECT_FALSE(b.Visible());
  EXPECT_EQ(CurrentBalloon(), &b);
}

TEST_F(BalloonNotice, AClickAnywhereOnItHidesItAtOnce) {
  for (int part = 0; part < 4; ++part) {
    TBalloon& b = Show(10, 10, 3);
    TControl* target = part == 0   ? static_cast<TControl*>(&b)
                       : part == 1 ? static_cast<TControl*>(b.TitleLabel)
                       : part == 2 ? static_cast<TControl*>(b.TextLabel)
                                   : static_cast<TControl*>(b.IconImage);
    hl::PostClick(*target);
    hl::Step();
    EXPECT_FALSE(b.Visible()) << "part " << part;
  }
  EXPECT_EQ(platform::TakeShellLog(), "");
}

TEST_F(BalloonNotice, AnArmedClickOpensTheFirstMirrorOnceAndTheNextNothing) {
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "the shell would open a real browser";
  PrepareBalloon(false);
  SetOpenOnClick(true);
  TBalloon& b = Show(10, 10, 3);
  hl::PostClick(*b.TextLabel);
  hl::Step();
  EXPECT_EQ(platform::TakeShellLog(), std::string("Open|") + kMirror + "||5\n");
  EXPECT_FALSE(OpenOnClick());

  TBalloon& later = Show(10, 10, 3);
  hl::PostClick(later);
  hl::Step();
  EXPECT_EQ(platform::TakeShellLog(), "");
}

TEST_F(BalloonNotice, TheArmedClickCarriesOverToTheNextBalloon) {
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "the shell would open a real browser";
  Show(10, 10, 3);
  SetOpenOnClick(true);
  TBalloon& replacement = Show(20, 20, 3);
  hl::PostClick(*replacement.TitleLabel);
  hl::Step();
  EXPECT_EQ(platform::TakeShellLog(), std::string("Open|") + kMirror + "||5\n");
}

TEST_F(BalloonNotice, PrepareMakesOneHiddenBalloonAndDisarms) {
  SetOpenOnClick(true);
  PrepareBalloon(false);
  TBalloon* b = CurrentBalloon();
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->Visible());
  EXPECT_FALSE(OpenOnClick());
  PrepareBalloon(true);
  EXPECT_EQ(CurrentBalloon(), b);
  EXPECT_TRUE(OpenOnClick());
}

TEST_F(BalloonNotice, MinimisedByTheSystemItComesBackWithoutTakingTheFocus) {
  TBalloon& b = Show(10, 10, 3);
  const hl::WindowRecord before = hl::Record(b);
  hl::PostMinimize(b);
  hl::Step();
  EXPECT_TRUE(b.Visible());
  hl::WindowRecord r = hl::Record(b);
  ASSERT_EQ(r.showCommands.size(), before.showCommands.size() + 1);
  EXPECT_EQ(r.showCommands.back(), gui::kSwShowNoActivate);
  EXPECT_EQ(r.activations, 0);
}

// ---- drawing and pictures ---------------------------------------------------------------

TEST_F(BalloonNotice, PaintFramesTheShapeInBlackAndPutsTheGlyphNearTheTopRight) {
  for (int kind : {1, 3}) {
    TBalloon& b = Show(200, 200, kind);
    const auto ops = hl::Paint(b);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].kind, hl::PaintOp::FrameRegion);
    EXPECT_EQ(ops[0].color, clBlack);
    EXPECT_EQ(ops[0].w, 1);
    EXPECT_EQ(ops[0].h, 1);
    EXPECT_EQ(ops[1].kind, hl::PaintOp::Draw);
    EXPECT_EQ(ops[1].x, b.Width() - 30);
    EXPECT_EQ(ops[1].y, kind == 3 ? 26 : 6);
    ASSERT_NE(ops[1].bitmap, nullptr);
    EXPECT_EQ(ops[1].bitmap->Width(), 18);
    EXPECT_EQ(ops[1].bitmap->Height(), 18);
  }
}

TEST_F(BalloonNotice, WithoutACloseGlyphTheBalloonIsWholeButForTheGlyph) {
  platform::RegisterModuleResource("BClose", "ZBMP", "");
  if (testseams::ResourcePresent("BClose", "ZBMP")) GTEST_SKIP() << "the close glyph is linked into this binary";
  TBalloon& b = Show(500, 300, 3, "Title", "Text");
  EXPECT_TRUE(b.CloseGlyph->Empty());
  EXPECT_TRUE(b.Visible());
  EXPECT_EQ(b.Left(), 480);
  EXPECT_EQ(b.WindowRegion().Shapes.size(), 2u);
  for (const hl::PaintOp& op : hl::Paint(b))
    if (op.kind == hl::PaintOp::Draw) {
      EXPECT_TRUE(op.bitmap->Empty());
    }
  hl::PostClick(b);
  hl::Step();
  EXPECT_FALSE(b.Visible());
}

TEST_F(BalloonNotice, AMissingIconStillShowsTheNoticeWithoutIt) {
  platform::RegisterModuleResource("WARNING", "ZBMP", "");
  if (testseams::ResourcePresent("WARNING", "ZBMP")) GTEST_SKIP() << "the icons are linked into this binary";
  EXPECT_NO_THROW(ShowBalloon(500, 300, "Title", "Text", 2, 20, 3));
  ASSERT_NE(CurrentBalloon(), nullptr);
  const TBalloon& b = *CurrentBalloon();
  EXPECT_TRUE(b.Visible());
  EXPECT_TRUE(b.HideTimer->Enabled());
  EXPECT_TRUE(b.IconImage->Picture().Empty());
  EXPECT_EQ(b.Left(), 480);
  EXPECT_EQ(b.Width(),
            Right(*b.TextLabel) > Right(*b.TitleLabel) ? Right(*b.TextLabel) + 40 : Right(*b.TitleLabel) + 40);
}

TEST(BitmapResource, LoadsACompleteBmpFileByNameAndTypeInAnyCase) {
  // The program's own pictures are compressed: the close glyph's .bmp file as a resource of its own.
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "resources are registered only in the Linux build";
  platform::RegisterModuleResource("Glyph", "bmp", testseams::ReadBitmapFile("BClose.bmp"));
  TBitmap b;
  LoadBitmapResource(b, "GLYPH", "BMP");
  ASSERT_EQ(b.Width(), 18);
  ASSERT_EQ(b.Height(), 18);
  EXPECT_EQ(b.Pixel(0, 0), ColorFromRGB(128, 128, 128));  // the grey frame
  EXPECT_EQ(b.Pixel(17, 17), ColorFromRGB(128, 128, 128));
  EXPECT_EQ(b.Pixel(9, 9), clBlack);  // the cross
  EXPECT_NE(b.Pixel(2, 9), clBlack);  // the light field
}

TEST(BitmapResource, AMissingOrBrokenResourceLeavesTheBitmapUnchanged) {
  platform::RegisterModuleResource("BROKEN", "bmp", std::string("BM\x10\0\0\0garbage", 14));
  for (const char* name : {"NOSUCH", "BROKEN"}) {
    TBitmap b;
    b.SetSize(3, 2, clRed);
    EXPECT_NO_THROW(LoadBitmapResource(b, name, "bmp"));
    EXPECT_EQ(b.Width(), 3) << name;
    EXPECT_EQ(b.Pixel(1, 1), clRed) << name;
  }
}

TEST(BitmapResource, IconsSeeThroughTheirBackgroundKey) {
  testseams::RegisterProgramBitmaps();
  for (const char* name : {"INFO", "ERROR", "WARNING"}) {
    const TBitmap b = gui::LoadScaledPicture(name, gui::kDesignPixelsPerInch);
    EXPECT_EQ(b.Width(), 16) << name;
    EXPECT_EQ(b.TransparentColor(), ColorFromRGB(255, 255, 225)) << name;
    // The picture itself is not the key colour in the middle.
    EXPECT_NE(b.Pixel(8, 8), b.TransparentColor()) << name;
  }
}
