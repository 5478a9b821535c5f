// The windows on screens of 120, 144 and 192 pixels per inch: every length of the 96-dpi
// design scaled once, fonts included, each picture the one drawn for the scale; and a window
// moved to a monitor of another scale laid out again.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "LauncherState.h"
#include "TestSeams.h"
#include "gui/headless/Headless.h"
#include "windows/Balloon.h"
#include "windows/FrmCheckShareCode.h"
#include "windows/SerevrConfirm.h"
#include "windows/UnzipSoftUnit.h"

namespace hl = gui::headless;

namespace {

class Scaled : public ::testing::Test {
 protected:
  void SetUp() override {
    testseams::ResetLauncherState();
    SetBalloonWait([](unsigned) {});
    ShareCode = std::make_unique<TShareCode>();
    ShareCode->ExeMD5 = "0123456789abcdef0123456789abcdef";
  }
  void TearDown() override { testseams::ResetLauncherState(); }
};

struct Box {
  int left, top, width, height;
  bool operator==(const Box& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << b.left << "," << b.top << " " << b.width << "x" << b.height;
}
Box BoxOf(const TControl& c) { return {c.Left(), c.Top(), c.Width(), c.Height()}; }

// The picture file drawn for a scale, as the program carries it.
TBitmap Drawn(const std::string& file) {
  TBitmap b;
  b.LoadFromFileImage(testseams::ReadBitmapFile(file));
  return b;
}

}  // namespace

TEST_F(Scaled, TheVerificationWindowAt144DpiIsItsDesignTimesOneAndAHalf) {
  hl::SetScreenPixelsPerInch(144);
  TFrmNetVerify form(nullptr);
  // Screen position (49, 176) and client 668 x 121, each rounded once: 73.5 -> 74, 181.5 -> 182.
  EXPECT_EQ(form.Left(), 74);
  EXPECT_EQ(form.Top(), 264);
  EXPECT_EQ(form.ClientWidth(), 1002);
  EXPECT_EQ(form.ClientHeight(), 182);
  EXPECT_EQ(BoxOf(*form.BtnInstall), (Box{693, 48, 119, 39}));
  EXPECT_EQ(BoxOf(*form.CbSafeCheck), (Box{507, 56, 167, 26}));
  EXPECT_EQ(BoxOf(*form.LblHint), (Box{48, 116, 638, 18}));
  EXPECT_EQ(BoxOf(*form.ProgressBar1), (Box{0, 173, 1002, 9}));  // along the bottom, 6 -> 9 high
  EXPECT_EQ(form.Label3->Left(), 35);
  EXPECT_EQ(form.Label3->Font().PixelHeight(), 18);
  EXPECT_EQ(form.LblExeMD5->Font().PixelHeight(), 20);  // 13 px -> 19.5 -> 20
  EXPECT_EQ(form.CbSafeCheck->Font().PixelHeight(), 20);
  // The auto-sized labels measure their text in the larger font.
  EXPECT_EQ(form.LblURL->Height(), 18);
  // The face is the one drawn at 150 %, not the 100 % one enlarged.
  const TBitmap face = Drawn("InstallButton_150.bmp");
  EXPECT_EQ(form.BtnInstall->Glyph().Width(), 119);
  EXPECT_EQ(form.BtnInstall->Glyph().Pixels(), face.Pixels());
}

TEST_F(Scaled, EveryWindowsClientAndFontsFollowTheScale) {
  struct Case {
    int ppi;
    Box verifyClient, confirmClient, unzipOuter;
    int songTi12;
  };
  // clang-format off
  const Case cases[] = {
      {96,  {49, 176, 668, 121},  {217, 209, 410, 174}, {197, 284, 662, 101}, 12},
      {120, {61, 220, 835, 151},  {271, 261, 513, 218}, {246, 355, 828, 126}, 15},
      {192, {98, 352, 1336, 242}, {434, 418, 820, 348}, {394, 568, 1324, 202}, 24},
  };
  // clang-format on
  for (const Case& c : cases) {
    hl::SetScreenPixelsPerInch(c.ppi);
    TFrmNetVerify verify(nullptr);
    auto* confirm = new TFrmServerConfirm(&verify);
    TFrmUnzipSoft unzip(nullptr);
    EXPECT_EQ((Box{verify.Left(), verify.Top(), verify.ClientWidth(), verify.ClientHeight()}), c.verifyClient) << c.ppi;
    EXPECT_EQ((Box{confirm->Left(), confirm->Top(), confirm->ClientWidth(), confirm->ClientHeight()}), c.confirmClient)
        << c.ppi;
    EXPECT_EQ(BoxOf(unzip), c.unzipOuter) << c.ppi;
    EXPECT_EQ(confirm->LblMD5->Font().PixelHeight(), c.songTi12) << c.ppi;
    // The bands still stack from the text block down to the button, with no gap.
    EXPECT_EQ(confirm->Panel1->Top() + confirm->Panel1->Height(), confirm->ClientHeight()) << c.ppi;
    EXPECT_EQ(confirm->Panel2->Top() + confirm->Panel2->Height(), confirm->Panel1->Top()) << c.ppi;
    EXPECT_EQ(confirm->Panel36->Top() + confirm->Panel36->Height(), confirm->Panel2->Top()) << c.ppi;
    EXPECT_EQ(unzip.ProgressBar1->Top() + unzip.ProgressBar1->Height(), unzip.ClientHeight()) << c.ppi;
  }
}

TEST_F(Scaled, MovedToAMonitorOfAnotherScaleTheWindowTakesTheProposedBoundsAndLaysOutAgain) {
  TFrmNetVerify form(nullptr);
  const Box button = BoxOf(*form.BtnInstall), hint = BoxOf(*form.LblHint);
  form.ChangeScale(192, {100, 50, 100 + 1352, 50 + 310});
  EXPECT_EQ(BoxOf(form), (Box{100, 50, 1352, 310}));
  EXPECT_EQ(BoxOf(*form.BtnInstall), (Box{924, 64, 158, 52}));
  EXPECT_EQ(form.BtnInstall->Glyph().Pixels(), Drawn("InstallButton_200.bmp").Pixels());
  EXPECT_EQ(form.Label3->Font().PixelHeight(), 24);
  EXPECT_EQ(form.ProgressBar1->Top() + form.ProgressBar1->Height(), form.ClientHeight());
  // Told again of the resolution it is laid out for, it keeps its bounds.
  form.ChangeScale(192, {0, 0, 2000, 600});
  EXPECT_EQ(BoxOf(form), (Box{100, 50, 1352, 310}));
  // And back: pixel for pixel as it was designed.
  form.ChangeScale(96);
  EXPECT_EQ(BoxOf(*form.BtnInstall), button);
  EXPECT_EQ(BoxOf(*form.LblHint), hint);
  EXPECT_EQ(form.BtnInstall->Glyph().Pixels(), Drawn("InstallButton.bmp").Pixels());
  EXPECT_EQ(form.ClientWidth(), 668);
}

TEST_F(Scaled, TheBalloonAt144DpiKeepsItsTipOnTheAnchorAndDrawsItsPicturesForTheScale) {
  hl::SetScreenPixelsPerInch(144);
  ShowBalloon(500, 300, "Title", "Body text", 1, 20, 3);
  TBalloon& b = *CurrentBalloon();
  EXPECT_TRUE(b.Visible());
  // Pointer 20 -> 30 wide, 2 -> 3 above the body: the tip on the anchor.
  EXPECT_EQ(b.Left(), 470);
  EXPECT_EQ(b.Top(), 297);
  const TRegionShape& tri = b.WindowRegion().Shapes.at(1);
  EXPECT_EQ(b.Left() + tri.Points.at(0).X, 500);
  EXPECT_EQ(b.Top() + tri.Points.at(0).Y, 300);
  EXPECT_EQ(b.TitleLabel->Top(), 48);  // (12 + 20) x 1.5 under a top pointer
  EXPECT_EQ(b.TitleLabel->Font().PixelHeight(), 17);
  const int widest = std::max(b.TitleLabel->Left() + b.TitleLabel->Width(), b.TextLabel->Left() + b.TextLabel->Width());
  EXPECT_EQ(b.Width(), widest + 60);
  EXPECT_EQ(b.IconImage->Picture().Pixels(), Drawn("Error_150.bmp").Pixels());
  EXPECT_EQ(b.CloseGlyph->Pixels(), Drawn("BClose_150.bmp").Pixels());
}
