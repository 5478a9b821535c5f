// The toolkit as a user meets it, on the headless backend.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include <zlib.h>

#include "TestSeams.h"
#include "base/Classes.h"
#include "gui/Forms.h"
#include "gui/headless/Headless.h"

namespace hl = gui::headless;

namespace {
class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override {
    hl::Reset();
    Application->SetTitle("Parvalo\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2");
  }
  void TearDown() override { hl::Reset(); }
};

TFont Song(int px, unsigned style = 0, TColor color = clBlack) {
  TFont f;
  f.Name = "\xCB\xCE\xCC\xE5";
  f.Height = -px;
  f.Style = style;
  f.Color = color;
  f.Charset = kGB2312Charset;
  return f;
}
}  // namespace

// ---- modal loops ----------------------------------------------------------------------

TEST_F(Toolkit, ModalLoopEndsWhenTheUserClosesTheForm) {
  TForm form(nullptr);
  hl::PostClose(form, 1500);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
  EXPECT_EQ(hl::Now(), 1500u);
  EXPECT_FALSE(form.Visible());
}

TEST_F(Toolkit, ModalLoopEndsWhenTheApplicationTerminates) {
  TForm form(nullptr);
  hl::Post([] { Application->Terminate(); }, 10);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::Terminated);
}

TEST_F(Toolkit, ModalLoopWithNothingLeftToHappenReturnsInsteadOfHanging) {
  TForm form(nullptr);
  EXPECT_EQ(form.ShowModal(), mrNone);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::Idle);
}

TEST_F(Toolkit, NestedModalFormsEndInnermostFirst) {
  TForm outer(nullptr), inner(nullptr);
  int innerResult = -1;
  hl::Post([&] { innerResult = inner.ShowModal(); });
  hl::PostClose(inner, 100);
  hl::PostClose(outer, 200);
  outer.ShowModal();
  EXPECT_EQ(innerResult, mrCancel);
  EXPECT_EQ(hl::Now(), 200u);
}

TEST_F(Toolkit, ATestCanStepThroughAModalLoopFromItsHook) {
  TForm form(nullptr);
  auto* timer = new TTimer(&form);
  timer->SetInterval(100);
  int ticks = 0;
  timer->OnTimer = [&] { ++ticks; };
  bool hooked = false;
  hl::WhenModal([&](TForm& f) {
    hooked = &f == &form && f.Visible();
    EXPECT_TRUE(hl::RunUntil([&] { return ticks == 3; }));
    EXPECT_EQ(hl::Now(), 300u);
    f.Close();
  });
  form.ShowModal();
  EXPECT_TRUE(hooked);
  EXPECT_EQ(ticks, 3);
}

// ---- timers on the virtual clock ------------------------------------------------------

TEST_F(Toolkit, TimerTicksEveryIntervalOnTheVirtualClock) {
  TForm form(nullptr);
  TTimer timer(&form);
  timer.SetEnabled(false);
  timer.SetInterval(100);
  std::vector<std::uint64_t> at;
  timer.OnTimer = [&] { at.push_back(hl::Now()); };
  timer.SetEnabled(true);
  hl::RunFor(350);
  EXPECT_EQ(at, (std::vector<std::uint64_t>{100, 200, 300}));
}

TEST_F(Toolkit, DisabledTimerNeverTicksAndReenablingRestartsTheInterval) {
  TForm form(nullptr);
  TTimer timer(&form);
  timer.SetInterval(100);
  int ticks = 0;
  timer.OnTimer = [&] {
    ++ticks;
    timer.SetEnabled(false);
  };
  hl::RunFor(1000);
  EXPECT_EQ(ticks, 1);
  hl::RunFor(50);
  timer.SetEnabled(true);
  hl::RunFor(99);
  EXPECT_EQ(ticks, 1);
  hl::RunFor(1);
  EXPECT_EQ(ticks, 2);
}

TEST_F(Toolkit, TimerWithZeroIntervalDoesNotTick) {
  TForm form(nullptr);
  TTimer timer(&form);
  timer.SetInterval(0);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  EXPECT_FALSE(hl::Step());
  EXPECT_EQ(ticks, 0);
}

TEST_F(Toolkit, ProcessMessagesRunsWhatIsDueWithoutMovingTheClock) {
  int ran = 0;
  hl::Post([&] { ++ran; });
  hl::Post([&] { ran += 10; }, 500);
  Application->ProcessMessages();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(hl::Now(), 0u);
}

// ---- errors that leave a handler ------------------------------------------------------

TEST_F(Toolkit, HandlerErrorShowsTheErrorBoxAndTheLoopGoesOn) {
  TForm form(nullptr);
  auto* button = new TSpeedButton(&form);
  button->SetParent(&form);
  int clicks = 0;
  button->OnClick = [&] {
    if (++clicks == 1) throw EReadError("Stream read error");
  };
  hl::PostClick(*button, 10);
  hl::PostClick(*button, 20);
  hl::PostClose(form, 30);
  form.ShowModal();
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  EXPECT_EQ(hl::MessageBoxes()[0].text, "Stream read error.");
  EXPECT_EQ(hl::MessageBoxes()[0].caption, Application->Title());
  EXPECT_EQ(hl::MessageBoxes()[0].flags, gui::kMbOk | gui::kMbIconError);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
}

TEST_F(Toolkit, ErrorInOnCreateIsShownAndTheFormStillExists) {
  struct TFrmBroken : TForm {
    TFrmBroken() : TForm(nullptr) {
      OnCreate = [] { throw std::runtime_error("broken!"); };
      Loaded();
    }
  } form;
  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  EXPECT_EQ(hl::MessageBoxes()[0].text, "broken!");
}

// ---- labels ---------------------------------------------------------------------------

TEST_F(Toolkit, AutoSizeLabelTakesTheSizeOfItsText) {
  TForm form(nullptr);
  auto* l = new TLabel(&form);
  l->SetParent(&form);
  l->SetFont(Song(12));
  l->SetCaption("md5 : ");  // six ASCII characters of 6 px
  EXPECT_EQ(l->Width(), 36);
  EXPECT_EQ(l->Height(), 12);
  l->SetCaption("\xC8\xED\xBC\xFE");  // two double-byte characters of 12 px
  EXPECT_EQ(l->Width(), 24);
}

TEST_F(Toolkit, FixedSizeLabelClipsAtItsRightEdgeWithoutWrapping) {
  TForm form(nullptr);
  auto* l = new TLabel(&form);
  l->SetParent(&form);
  l->SetAutoSize(false);
  l->SetFont(Song(12));
  l->SetBounds(29, 66, 60, 13);
  l->SetCaption(std::string(40, 'a'));
  EXPECT_EQ(l->Width(), 60);
  EXPECT_EQ(l->Height(), 13);
  auto lines = l->DrawnLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(10, 'a'));
}

TEST_F(Toolkit, FixedSizeWordWrapLabelShowsOnlyTheLinesThatFit) {
  TForm form(nullptr);
  auto* l = new TLabel(&form);
  l->SetParent(&form);
  l->SetAutoSize(false);
  l->SetWordWrap(true);
  l->SetFont(Song(12));
  l->SetBounds(0, 0, 48, 12);
  l->SetCaption("aaaa bbbb cccc");
  auto lines = l->DrawnLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "aaaa");
}

TEST_F(Toolkit, ClippingNeverSplitsADoubleByteCharacter) {
  TForm form(nullptr);
  auto* l = new TLabel(&form);
  l->SetParent(&form);
  l->SetAutoSize(false);
  l->SetFont(Song(12));
  l->SetBounds(0, 0, 30, 12);
  l->SetCaption("\xB0\xA1\xB0\xA2\xB0\xA3\xB0\xA4");
  auto lines = l->DrawnLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "\xB0\xA1\xB0\xA2\xB0\xA3");  // the third starts at 24 < 30: partly drawn
}

// ---- layout and appearance ------------------------------------------------------------

TEST_F(Toolkit, FormSizeIsTheOuterSizeAndBottomAlignedControlsStackUp) {
  TForm form(nullptr);
  form.SetBounds(217, 209, 418, 208);
  EXPECT_EQ(form.ClientWidth(), 410);
  EXPECT_EQ(form.ClientHeight(), 174);
  auto add = [&](int top, int h) {
    auto* p = new TPanel(&form);
    p->SetBounds(0, top, 410, h);
    p->SetParent(&form);
    p->SetAlign(alBottom);
    return p;
  };
  TPanel* line = add(91, 1);
  TPanel* buttons = add(133, 41);
  TPanel* result = add(92, 41);
  EXPECT_EQ(buttons->Top(), 133);
  EXPECT_EQ(result->Top(), 92);
  EXPECT_EQ(line->Top(), 91);
  form.SetWidth(500);
  EXPECT_EQ(buttons->Width(), 492);
}

TEST_F(Toolkit, ControlsTakeTheirParentsColourAndFontUntilGivenTheirOwn) {
  TForm form(nullptr);
  form.SetColor(ColorFromRGB(245, 250, 254));
  form.SetFont(Song(11));
  auto* l = new TLabel(&form);
  l->SetParent(&form);
  EXPECT_EQ(l->Color(), ColorFromRGB(245, 250, 254));
  EXPECT_EQ(l->Font().Height, -11);
  l->SetFont(Song(13, fsBold, clGreen));
  form.SetFont(Song(20));
  EXPECT_EQ(l->Font().Height, -13);
  EXPECT_TRUE(l->Font().Bold());
}

TEST_F(Toolkit, ProgressBarStaysWithinItsRange) {
  TForm form(nullptr);
  auto* bar = new TProgressBar(&form);
  bar->SetMax(180);
  bar->SetStep(10);
  for (int i = 0; i < 20; ++i) bar->StepIt();
  EXPECT_EQ(bar->Position(), 180);
  bar->SetPosition(-5);
  EXPECT_EQ(bar->Position(), 0);
}

TEST_F(Toolkit, CheckBoxClickTogglesBeforeItsHandlerRuns) {
  TForm form(nullptr);
  auto* cb = new TCheckBox(&form);
  cb->SetParent(&form);
  cb->SetChecked(true);
  bool seen = true;
  cb->OnClick = [&] { seen = cb->Checked(); };
  hl::PostClick(*cb);
  hl::Step();
  EXPECT_FALSE(seen);
}

TEST_F(Toolkit, HiddenControlIgnoresTheUsersClicks) {
  TForm form(nullptr);
  auto* b = new TSpeedButton(&form);
  b->SetParent(&form);
  b->SetVisible(false);
  int clicks = 0;
  b->OnClick = [&] { ++clicks; };
  hl::PostClick(*b);
  hl::Step();
  EXPECT_EQ(clicks, 0);
}

TEST_F(Toolkit, PopupMenuItemRunsItsHandler) {
  TForm form(nullptr);
  auto* menu = new TPopupMenu(&form);
  int chosen = 0;
  TMenuItem* item = menu->Add("md5", [&] { ++chosen; });
  form.SetPopupMenu(menu);
  hl::PostMenuClick(*item);
  hl::Step();
  EXPECT_EQ(chosen, 1);
}

// ---- ownership ------------------------------------------------------------------------

TEST_F(Toolkit, OwnerDeletesItsComponentsAndReleasedFormsGoWhenTheLoopRuns) {
  const int before = TForm::InstanceCount();
  {
    TForm owner(nullptr);
    auto* child = new TForm(&owner);
    EXPECT_EQ(TForm::InstanceCount(), before + 2);
    child->Release();
    EXPECT_EQ(TForm::InstanceCount(), before + 2);  // still there until the loop runs
    EXPECT_EQ(owner.ComponentCount(), 0);
    Application->ProcessMessages();
    EXPECT_EQ(TForm::InstanceCount(), before + 1);
    new TForm(&owner);
  }
  EXPECT_EQ(TForm::InstanceCount(), before);
}

// ---- pictures for each scale --------------------------------------------------------------

TEST(ScaledPicture, TheOneDrawnForTheScaleElseTheNextLargerScaledDownNeverTheDesignEnlarged) {
  // Pictures of 10 x 4 at 100 %, 20 x 8 at 200 % (none at 125 or 150 %), each one colour.
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "resources are registered only in the Linux build";
  auto drawn = [](int w, int h, TColor c) {
    TBitmap b;
    b.SetSize(w, h, c);
    return b.SaveToFileImage();
  };
  auto packed = [](const std::string& file) {
    std::string out(compressBound(static_cast<uLong>(file.size())), '\0');
    uLongf n = static_cast<uLongf>(out.size());
    compress(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(file.data()),
             static_cast<uLong>(file.size()));
    out.resize(n);
    return out;
  };
  platform::RegisterModuleResource("PIC", "ZBMP", packed(drawn(10, 4, clRed)));
  platform::RegisterModuleResource("PIC_200", "ZBMP", packed(drawn(20, 8, clGreen)));
  struct Case {
    int ppi, width, height;
    TColor color;
  };
  const Case cases[] = {
      {96, 10, 4, clRed},      // the design
      {192, 20, 8, clGreen},   // drawn for 200 %, 1:1
      {144, 15, 6, clGreen},   // none at 150 %: the 200 % one scaled down
      {72, 8, 3, clRed},       // below the design: the design scaled down
      {240, 25, 10, clGreen},  // above every drawing: the largest, as large as it must be
  };
  for (const Case& c : cases) {
    const TBitmap b = gui::LoadScaledPicture("PIC", c.ppi);
    EXPECT_EQ(b.Width(), c.width) << c.ppi;
    EXPECT_EQ(b.Height(), c.height) << c.ppi;
    EXPECT_EQ(b.Pixel(c.width / 2, c.height / 2), c.color) << c.ppi;
  }
  // Drawn only at 100 %: shown as drawn, not stretched up.
  platform::RegisterModuleResource("ONLY", "ZBMP", packed(drawn(10, 4, clRed)));
  EXPECT_EQ(gui::LoadScaledPicture("ONLY", 192).Width(), 10);
  EXPECT_THROW(gui::LoadScaledPicture("NONE", 96), EResNotFound);
  // A damaged compressed picture is refused, not shown half drawn.
  std::string damaged = packed(drawn(20, 8, clGreen));
  damaged.resize(damaged.size() / 2);
  platform::RegisterModuleResource("BAD_200", "ZBMP", damaged);
  EXPECT_THROW(gui::LoadScaledPicture("BAD", 192), EInvalidGraphic);
}

TEST(ScaledPicture, ScalingDownLeavesNoBlendOfTheSeeThroughColourAroundTheShape) {
  // A blue square from 3 to 5 in an 8 x 8 picture keyed by pink, halved: its edges cut the
  // pixels in two. Each new pixel is either see-through or the shape's own colour, never a
  // pink-blue blend that would show as a halo around the icon.
  const TColor kBlue = ColorFromRGB(0, 0, 200), kPink = ColorFromRGB(255, 0, 255);
  TBitmap b;
  b.SetSize(8, 8, kPink);
  for (int y = 3; y < 6; ++y)
    for (int x = 3; x < 6; ++x) b.SetPixel(x, y, kBlue);
  const TBitmap half = gui::ResizePicture(b, 4, 4);
  EXPECT_EQ(half.TransparentColor(), kPink);
  EXPECT_EQ(half.Pixel(2, 2), kBlue);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_TRUE(half.Pixel(x, y) == kPink || half.Pixel(x, y) == kBlue) << x << "," << y;
}
