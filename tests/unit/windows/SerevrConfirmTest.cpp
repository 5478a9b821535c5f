#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "LauncherState.h"
#include "gui/Backend.h"
#include "gui/headless/Headless.h"
#include "windows/SerevrConfirm.h"

namespace hl = gui::headless;

namespace {

class CertificationWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    testseams::ResetLauncherState();
    owner = std::make_unique<TForm>(nullptr);
    form = new TFrmServerConfirm(owner.get());
  }
  void TearDown() override {
    owner.reset();
    testseams::ResetLauncherState();
  }

  static std::string Drawn(const TLabel& l) {
    auto lines = l.DrawnLines();
    EXPECT_EQ(lines.size(), 1u) << l.Caption();
    return lines.empty() ? std::string() : lines[0];
  }

  std::unique_ptr<TForm> owner;  // stands in for the verification window
  TFrmServerConfirm* form = nullptr;
};

// A control's place and size, for readable failures.
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

}  // namespace

// ---- the window and its layout ----------------------------------------------------------

TEST_F(CertificationWindow, BandsStackFromTheTextBlockDownToTheButton) {
  // Text block 0..90, grey line at 91, white result band 92..132 with its own grey last row,
  // button band 133..173.
  EXPECT_EQ(BoxOf(*form->Panel36), (Box{0, 91, 410, 1}));
  EXPECT_EQ(BoxOf(*form->Panel2), (Box{0, 92, 410, 41}));
  EXPECT_EQ(BoxOf(*form->Panel1), (Box{0, 133, 410, 41}));
  EXPECT_EQ(BoxOf(*form->Panel3), (Box{0, 40, 410, 1}));
  EXPECT_EQ(form->Panel3->Parent(), form->Panel2);
}

TEST_F(CertificationWindow, TheUserReadsTheWholeVerdictAndWhoPublishedTheFile) {
  // The verdict in bold green, drawn whole on one line.
  EXPECT_EQ(form->Label4->Font().Color, ColorFromRGB(0, 128, 0));
  EXPECT_TRUE(form->Label4->Font().Bold());
  EXPECT_EQ(Drawn(*form->Label4), form->Label4->Caption());
  // The origin lines as drawn: the first whole, the second at least up to the end of the
  // publisher's host (the build's home page; the demo one here), whatever is cut after it.
  EXPECT_EQ(Drawn(*form->Label2), "来自QOR软件官方正式版");
  EXPECT_EQ(Drawn(*form->Label3).rfind("发布自http://127.0.0.13", 0), 0u) << Drawn(*form->Label3);
}

TEST_F(CertificationWindow, ButtonIsFlatWithTheInstallFace) {
  EXPECT_EQ(form->SpeedButton1->Parent(), form->Panel1);
  EXPECT_EQ(BoxOf(*form->SpeedButton1), (Box{200, 9, 80, 24}));
  EXPECT_TRUE(form->SpeedButton1->Flat());
  EXPECT_EQ(form->SpeedButton1->Glyph().Width(), 79);
  EXPECT_EQ(form->SpeedButton1->Glyph().Height(), 25);
}

// ---- the lines the verification fills ------------------------------------------------------

TEST_F(CertificationWindow, CheckLinesCarryTheirPrefixesAndTheDate) {
  form->SetCheckTexts("0123456789abcdef0123456789abcdef", "Parvalo", {2026, 3, 7, 23, 59, 58, 0});
  EXPECT_EQ(form->LblMD5->Caption(), "软件MD5 : 0123456789abcdef0123456789abcdef");
  EXPECT_EQ(form->LbSoft->Caption(), "软件名称 : Parvalo");
  EXPECT_EQ(form->LblTime->Caption(), "发布时间 : 2026-03-07");
  // A normal fingerprint line and the date line fit their labels.
  for (TLabel* l : {form->LblMD5, form->LblTime, form->LbSoft})
    EXPECT_LE(gui::TheBackend().MeasureText(l->Font(), l->Caption()).cx, l->Width()) << l->Caption();
}

TEST(CheckDate, IsFourDigitYearAndTwoDigitMonthAndDay) {
  EXPECT_EQ(FormatCheckDate({2026, 12, 31}), "2026-12-31");
  EXPECT_EQ(FormatCheckDate({2027, 1, 1}), "2027-01-01");
  EXPECT_EQ(FormatCheckDate({987, 10, 5}), "0987-10-05");
}

TEST_F(CertificationWindow, LongLinesAreCutAtTheRightEdgeNotWrapped) {
  const std::string name(120, 'W');
  const std::string md5 = "0123456789abcdef0123456789abcdef and then a good deal more text";
  form->SetCheckTexts(md5, name, {2026, 3, 7});
  for (TLabel* l : {form->LbSoft, form->LblMD5}) {
    const std::string drawn = Drawn(*l);  // one line: nothing wrapped onto a second
    EXPECT_LT(drawn.size(), l->Caption().size());
    EXPECT_EQ(l->Caption().compare(0, drawn.size(), drawn), 0);
    EXPECT_GT(drawn.size(), 10u);
    // The label keeps its size; the text does not push it.
    EXPECT_EQ(l->Height(), 13);
  }
  EXPECT_EQ(form->LbSoft->Width(), 196);
  EXPECT_EQ(form->LblMD5->Width(), 343);
}

// ---- closing ---------------------------------------------------------------------------------

TEST_F(CertificationWindow, TheButtonEndsTheModalLoopAndTheWindowIsKeptHidden) {
  hl::WhenModal([this](TForm& shown) {
    EXPECT_EQ(&shown, form);
    EXPECT_TRUE(form->Visible());
    hl::PostClick(*form->SpeedButton1);
  });
  form->ShowModal();
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(owner->ComponentCount(), 1);  // still there for a later press
}

TEST_F(CertificationWindow, TheTitleBarCloseEndsItTheSameWay) {
  hl::WhenModal([this](TForm&) { hl::PostClose(*form); });
  form->ShowModal();
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
  EXPECT_FALSE(form->Visible());
}
