// What a shaped notice window needs from the toolkit, on the headless backend: its window
// parameters, region, painting, showing without activation, z-order and message filter.
#include <gtest/gtest.h>

#include "gui/Forms.h"
#include "gui/headless/Headless.h"

namespace hl = gui::headless;

namespace {
// A borderless, top-most tool window that does not take the focus, as a notice is.
class TNotice : public TForm {
 public:
  TNotice() : TForm(nullptr) {
    SetBorderStyle(bsNone);
    SetFormStyle(fsStayOnTop);
    OnActivate = [this] { KeepOnTop(); };
    OnShow = [this] { KeepOnTop(); };
    OnWindowMessage = [this](TMessage& m) {
      if (m.Msg == gui::kWmSize && m.WParam == gui::kSizeMinimized) ShowNoActivate();
    };
  }
  void CreateParams(TCreateParams& p) override {
    TForm::CreateParams(p);
    p.Style &= ~(gui::kWsBorder | gui::kWsDlgFrame);
    p.Style |= gui::kWsPopup;
    p.ExStyle |= gui::kWsExTopmost | gui::kWsExToolWindow | gui::kWsExNoActivate;
    p.WndParent = gui::kDesktopWindow;
  }
  void KeepOnTop() { SetZOrder(gui::kHwndTopmost, gui::kSwpNoSize | gui::kSwpNoMove | gui::kSwpNoActivate); }
};

class NoticeWindow : public ::testing::Test {
 protected:
  void SetUp() override { hl::Reset(); }
  void TearDown() override { hl::Reset(); }
};
}  // namespace

TEST_F(NoticeWindow, IsCreatedAsATopmostToolPopupThatDoesNotActivate) {
  TNotice n;
  n.ShowNoActivate();
  auto r = hl::Record(n);
  ASSERT_TRUE(r.created);
  EXPECT_EQ(r.params.Style & (gui::kWsPopup | gui::kWsBorder | gui::kWsDlgFrame), gui::kWsPopup);
  EXPECT_EQ(r.params.ExStyle & 0x08000088u, 0x08000088u);
  EXPECT_EQ(r.params.WndParent, gui::kDesktopWindow);
  EXPECT_EQ(n.ClientWidth(), n.Width());  // no frame: the outer size is the client size
}

TEST_F(NoticeWindow, ShowingWithoutActivationNeverActivatesButKeepsItOnTop) {
  TNotice n;
  n.ShowNoActivate();
  auto r = hl::Record(n);
  EXPECT_TRUE(n.Visible());
  EXPECT_EQ(r.showCommands, std::vector<int>{gui::kSwShowNoActivate});
  EXPECT_EQ(r.activations, 0);
  ASSERT_EQ(r.zOrder.size(), 1u);  // from OnShow
  EXPECT_EQ(r.zOrder[0].insertAfter, gui::kHwndTopmost);
  EXPECT_EQ(r.zOrder[0].flags, 0x0013u);
}

TEST_F(NoticeWindow, MinimisingItShowsItAgain) {
  TNotice n;
  n.ShowNoActivate();
  hl::PostMinimize(n);
  hl::Step();
  auto r = hl::Record(n);
  EXPECT_EQ(r.showCommands, (std::vector<int>{gui::kSwShowNoActivate, gui::kSwShowNoActivate}));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].Msg, gui::kWmSize);
}

TEST_F(NoticeWindow, RegionIsKeptAsGivenForTheWindow) {
  TNotice n;
  n.SetBounds(480, 298, 200, 80);
  TWindowRegion rgn;
  rgn.AddRoundRect(0, 22, 200, 80, 7, 7).AddPolygon({{20, 2}, {20, 22}, {40, 22}});
  n.SetWindowRegion(rgn);
  ASSERT_EQ(n.WindowRegion().Shapes.size(), 2u);
  const auto& tri = n.WindowRegion().Shapes[1];
  EXPECT_EQ(tri.kind, TRegionShape::Polygon);
  EXPECT_TRUE(tri.Winding);
  EXPECT_EQ(tri.Points, (std::vector<TPoint>{{20, 2}, {20, 22}, {40, 22}}));
  EXPECT_EQ(hl::Record(n).regionChanges, 1);
}

TEST_F(NoticeWindow, PaintHandlerFramesTheRegionAndDrawsItsGlyph) {
  TNotice n;
  TBitmap glyph;
  glyph.SetSize(18, 18, clSilver);
  TBitmap none;
  n.OnPaint = [&](TCanvas& c) {
    c.FrameWindowRegion(clBlack, 1, 1);
    c.Draw(n.Width() - 30, 6, glyph);
    c.Draw(0, 0, none);  // an empty picture draws nothing
  };
  n.SetWidth(200);
  auto ops = hl::Paint(n);
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].kind, hl::PaintOp::FrameRegion);
  EXPECT_EQ(ops[0].w, 1);
  EXPECT_EQ(ops[1].kind, hl::PaintOp::Draw);
  EXPECT_EQ(ops[1].x, 170);
  EXPECT_EQ(ops[1].bitmap, &glyph);
}

TEST_F(NoticeWindow, ReleasedWindowStaysUntilTheLoopRunsThenIsGone) {
  const int before = TForm::InstanceCount();
  auto n = std::make_unique<TNotice>();
  n->ShowNoActivate();
  TNotice* raw = n.get();
  Application->ReleaseForm(std::move(n));
  EXPECT_FALSE(raw->Visible());
  EXPECT_EQ(TForm::InstanceCount(), before + 1);
  EXPECT_EQ(Application->ReleasedFormCount(), 1);
  hl::Step();
  EXPECT_EQ(TForm::InstanceCount(), before);
}

// ---- pictures -------------------------------------------------------------------------

TEST(Bitmap, FileImageRoundTripsAndTheTransparentColourIsTheBottomLeftPixel) {
  TBitmap b;
  b.SetSize(3, 2, clWhite);
  b.SetPixel(0, 1, ColorFromRGB(255, 255, 225));
  b.SetPixel(2, 0, clRed);
  TBitmap c;
  c.LoadFromFileImage(b.SaveToFileImage());
  EXPECT_EQ(c.Width(), 3);
  EXPECT_EQ(c.Height(), 2);
  EXPECT_EQ(c.Pixel(2, 0), clRed);
  EXPECT_EQ(c.TransparentColor(), ColorFromRGB(255, 255, 225));
}

TEST(Bitmap, EightBitPaletteImageIsRead) {
  // 2 x 1, 8 bits, two palette colours: blue then green.
  std::string dib;
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) dib += static_cast<char>(v >> (8 * i));
  };
  put32(40);
  put32(2);
  put32(1);
  dib += '\x01';
  dib += '\0';
  dib += '\x08';
  dib += '\0';
  put32(0);
  put32(4);
  put32(0);
  put32(0);
  put32(2);
  put32(0);
  dib += std::string("\xFF\x00\x00\x00\x00\xFF\x00\x00", 8);
  dib += std::string("\x01\x00\x00\x00", 4);
  TBitmap b;
  b.LoadFromDib(dib);
  EXPECT_EQ(b.Pixel(0, 0), ColorFromRGB(0, 255, 0));
  EXPECT_EQ(b.Pixel(1, 0), ColorFromRGB(0, 0, 255));
}

TEST(Bitmap, DamagedOrHostileImagesAreRefusedAndLeaveThePictureAsItWas) {
  TBitmap good;
  good.SetSize(4, 4, clGreen);
  const std::string image = good.SaveToFileImage();
  TBitmap b = good;
  EXPECT_THROW(b.LoadFromFileImage(image.substr(0, image.size() - 5)), EInvalidGraphic);  // rows cut short
  EXPECT_THROW(b.LoadFromFileImage("GIF89a" + image.substr(6)), EInvalidGraphic);
  std::string huge = image;
  huge[18] = '\xFF';
  huge[19] = '\xFF';
  huge[20] = '\xFF';
  huge[21] = '\x7F';  // width 2^31-1
  EXPECT_THROW(b.LoadFromFileImage(huge), EInvalidGraphic);
  std::string lowest = image;  // height -2^31, a top-down image whose height has no positive value
  lowest.replace(22, 4, std::string("\x00\x00\x00\x80", 4));
  EXPECT_THROW(b.LoadFromFileImage(lowest), EInvalidGraphic);
  EXPECT_THROW(b.LoadFromFileImage(std::string()), EInvalidGraphic);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Pixel(3, 3), clGreen);
}
