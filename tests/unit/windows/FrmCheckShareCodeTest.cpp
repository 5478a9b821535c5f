#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LauncherState.h"
#include "ReplyPublish.h"
#include "TestSeams.h"
#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "base/WhileWaiting.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/headless/Headless.h"
#include "net/transport/IdIOHandlerMemory.h"
#include "platform/Platform.h"
#include "settings/allparam.h"
#include "windows/Balloon.h"
#include "windows/FrmCheckShareCode.h"
#include "windows/SerevrConfirm.h"

namespace hl = gui::headless;
namespace vt = verifytext;

namespace {

const std::string kFingerprint = "0123456789abcdef0123456789abcdef";
const std::vector<std::string> kMirrors = {"http://127.0.0.11:8080/", "http://127.0.0.12:8080/",
                                           "http://127.0.0.13:8080/"};
const std::string kPath = "brenlow/QORTQ3.6ins.htm";

/// What one fake mirror does when asked.
struct Mirror {
  enum Kind { Down, Answers } kind = Down;
  std::string body;
};

class VerificationWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    testseams::ResetLauncherState();
    SetBalloonWait([this](unsigned ms) { balloonWaits.push_back(ms); });
    MirrorList = kMirrors;
    HomePageUrl = kMirrors[2];
    FirstMirrorUrl = kMirrors[0];
    ShareCode = std::make_unique<TShareCode>();
    ShareCode->SetCodeKey();
    ShareCode->ExeMD5 = kFingerprint;
    goodReply = BuildReplyFor(kFingerprint);
    form = std::make_unique<TFrmNetVerify>(nullptr);
    form->DecimalSeparator = [] { return '.'; };
    form->Today = [] {
      platform::LocalDateTime d;
      d.year = 2026, d.month = 3, d.day = 9;
      return d;
    };
    form->FetchUrl = [this](const std::string& url) -> std::string {
      asked.push_back(url);
      hintsWhileAsking.push_back(form->LblHint->Caption());
      if (duringFetch) duringFetch(url);
      auto it = mirrors.find(url.substr(0, url.size() - kPath.size()));
      if (it == mirrors.end() || it->second.kind == Mirror::Down) throw Exception("Socket Error # 10061");
      return it->second.body;
    };
  }
  void TearDown() override {
    form.reset();
    testseams::ResetLauncherState();
  }

  void Answer(int i, const std::string& body) { mirrors[kMirrors[i]] = {Mirror::Answers, body}; }

  /// Shows the window modally, presses the install button once the loop runs, closes the
  /// certification window if it comes, and closes the verification window afterwards if
  /// it is still open. Returns what ShowModal returned.
  int PressInstallInModalWindow() {
    hl::WhenModal([this](TForm&) {
      hl::WhenModal([this](TForm& cert) {
        certShown = true;
        certTexts = {form->FrmServerConfirm->LblMD5->Caption(), form->FrmServerConfirm->LbSoft->Caption(),
                     form->FrmServerConfirm->LblTime->Caption()};
        certWasModalOverVerify = form->Visible() && cert.Visible();
        hl::PostClick(*form->FrmServerConfirm->SpeedButton1);
      });
      hl::PostClick(*form->BtnInstall);
      hl::Post(
          [this] {
            windowStayedOpen = form->Visible();
            form->Close();
          },
          1);
    });
    return form->ShowModal();
  }

  /// Records each balloon title as it is shown (the current balloon changes with each).
  void WatchBalloons() {
    // Each ShowBalloon waits before showing the next one; the title of the balloon shown
    // last is read from the current balloon.
    SetBalloonWait([this](unsigned ms) {
      balloonWaits.push_back(ms);
      if (CurrentBalloon()) balloonTitles.push_back(CurrentBalloon()->TitleLabel->Caption());
    });
  }
  std::vector<std::string> ShownBalloonTitles() {
    std::vector<std::string> titles;
    for (const std::string& t : balloonTitles)
      if (!t.empty()) titles.push_back(t);
    if (CurrentBalloon() && !CurrentBalloon()->TitleLabel->Caption().empty())
      titles.push_back(CurrentBalloon()->TitleLabel->Caption());
    return titles;
  }

  std::unique_ptr<TFrmNetVerify> form;
  std::map<std::string, Mirror> mirrors;
  std::string goodReply;
  std::vector<std::string> asked;
  std::vector<std::string> hintsWhileAsking;
  std::function<void(const std::string&)> duringFetch;
  std::vector<unsigned> balloonWaits;
  std::vector<std::string> balloonTitles;
  bool certShown = false;
  bool certWasModalOverVerify = false;
  bool windowStayedOpen = false;
  std::uint64_t fetchEndedAt = 0;
  std::vector<std::string> certTexts;
};

}  // namespace

// ---- which mirror decides ---------------------------------------------------------------

TEST_F(VerificationWindow, AMatchingFirstAnswerCertifiesAndGoesOnWithoutAskingFurther) {
  Answer(0, goodReply);
  Answer(1, "never asked");
  PressInstallInModalWindow();
  EXPECT_EQ(asked, std::vector<std::string>{kMirrors[0] + kPath});
  EXPECT_TRUE(certShown);
  EXPECT_TRUE(certWasModalOverVerify);
  EXPECT_TRUE(form->ProceedToInstall);
  EXPECT_EQ(ShownBalloonTitles(), std::vector<std::string>{});
}

TEST_F(VerificationWindow, MirrorsThatFailAreSkippedUntilOneAnswers) {
  Answer(2, goodReply);
  PressInstallInModalWindow();
  EXPECT_EQ(asked, (std::vector<std::string>{kMirrors[0] + kPath, kMirrors[1] + kPath, kMirrors[2] + kPath}));
  EXPECT_TRUE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, TheFirstAnswerDecidesEvenWhenALaterMirrorWouldMatch) {
  WatchBalloons();
  Answer(0, BuildReplyFor("fedcba9876543210fedcba9876543210"));
  Answer(1, goodReply);
  PressInstallInModalWindow();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_FALSE(certShown);
  EXPECT_FALSE(form->ProceedToInstall);
  EXPECT_TRUE(windowStayedOpen);
  EXPECT_EQ(ShownBalloonTitles(), std::vector<std::string>{vt::kFailedTitle});
  EXPECT_TRUE(OpenOnClick());
}

TEST_F(VerificationWindow, AnEmptyOrBlankBodyOrAPortalsPageIsNoAnswerAndTheWalkGoesOn) {
  Answer(0, " \r\n\r\n");
  Answer(1, "<html><body>Sign in to the hotel's network</body></html>");
  Answer(2, goodReply);
  PressInstallInModalWindow();
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_TRUE(certShown);
  EXPECT_TRUE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, OnlyBlankBodiesCountAsNoConnection) {
  WatchBalloons();
  for (int i = 0; i < 3; ++i) Answer(i, "\r\n");
  PressInstallInModalWindow();
  EXPECT_EQ(ShownBalloonTitles(), (std::vector<std::string>{vt::kNoNetTitle, vt::kFailedTitle}));
  EXPECT_EQ(form->LblHint->Caption(), vt::kServerBusy);
  EXPECT_FALSE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, AReplyInUpperCaseOrAmongBlankLinesIsAccepted) {
  Answer(0, "\r\n\r\n  " + UpperCase(goodReply) + "\r\n\r\n");
  PressInstallInModalWindow();
  EXPECT_TRUE(certShown);
  EXPECT_TRUE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, AReplyForAnotherFingerprintIsRejected) {
  Answer(0, BuildReplyFor("fedcba9876543210fedcba9876543210"));
  PressInstallInModalWindow();
  EXPECT_FALSE(certShown);
  EXPECT_FALSE(form->ProceedToInstall);
}

// ---- no answer at all -------------------------------------------------------------------

TEST_F(VerificationWindow, EveryMirrorDownShowsNoConnectionThenFailureAndStays) {
  WatchBalloons();
  PressInstallInModalWindow();
  EXPECT_EQ(asked.size(), kMirrors.size());
  EXPECT_EQ(ShownBalloonTitles(), (std::vector<std::string>{vt::kNoNetTitle, vt::kFailedTitle}));
  EXPECT_EQ(form->LblHint->Caption(), vt::kServerBusy);
  EXPECT_TRUE(form->LblHint->Visible());
  EXPECT_TRUE(windowStayedOpen);
  EXPECT_FALSE(form->ProceedToInstall);
  EXPECT_EQ(form->FrmServerConfirm, nullptr);
}

TEST_F(VerificationWindow, AnEmptyMirrorListAsksNothingAndFailsWithTheDesignHint) {
  WatchBalloons();
  MirrorList.clear();
  PressInstallInModalWindow();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(ShownBalloonTitles(), (std::vector<std::string>{vt::kNoNetTitle, vt::kFailedTitle}));
  EXPECT_EQ(form->LblHint->Caption(), vt::kDesignHint);
  EXPECT_FALSE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, ASecondPressAfterAFailureWalksAgainFromTheFirstMirror) {
  form->BtnInstallClick();
  ASSERT_EQ(asked.size(), 3u);
  Answer(1, goodReply);
  hl::WhenModal([this](TForm&) { hl::PostClick(*form->FrmServerConfirm->SpeedButton1); });
  form->BtnInstallClick();
  EXPECT_EQ(asked, (std::vector<std::string>{kMirrors[0] + kPath, kMirrors[1] + kPath, kMirrors[2] + kPath,
                                             kMirrors[0] + kPath, kMirrors[1] + kPath}));
  EXPECT_TRUE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, AfterAFailureAClickOnTheBalloonOpensTheFirstMirror) {
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "shell calls are only recorded in the Linux build";
  form->BtnInstallClick();
  ASSERT_NE(CurrentBalloon(), nullptr);
  CurrentBalloon()->Click();
  EXPECT_EQ(platform::TakeShellLog(), "Open|" + kMirrors[0] + "||5\n");
}

// ---- what the window says while it asks --------------------------------------------------

TEST_F(VerificationWindow, TheHintNamesEachUrlWhileItIsAskedAndIsClearedByAnAnswer) {
  Answer(1, goodReply);
  PressInstallInModalWindow();
  ASSERT_EQ(hintsWhileAsking.size(), 2u);
  EXPECT_EQ(hintsWhileAsking[0], std::string(vt::kAskingPrefix) + kMirrors[0] + kPath + vt::kAskingSuffix);
  EXPECT_EQ(hintsWhileAsking[1], std::string(vt::kAskingPrefix) + kMirrors[1] + kPath + vt::kAskingSuffix);
  EXPECT_EQ(form->LblHint->Caption(), "");
  EXPECT_FALSE(form->LblHint->Visible());
}

TEST_F(VerificationWindow, AMismatchLeavesTheHintEmptyButVisible) {
  Answer(0, BuildReplyFor("fedcba9876543210fedcba9876543210"));
  form->LblHint->SetVisible(false);
  form->BtnInstallClick();
  EXPECT_EQ(form->LblHint->Caption(), "");
  EXPECT_TRUE(form->LblHint->Visible());
}

TEST_F(VerificationWindow, TheVersionInThePathUsesTheUsersDecimalSeparator) {
  form->DecimalSeparator = [] { return ','; };
  form->BtnInstallClick();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], kMirrors[0] + "brenlow/QORTQ3,6ins.htm");
  EXPECT_EQ(VerifyRequestPath, "brenlow/QORTQ3,6ins.htm");
}

TEST_F(VerificationWindow, TheCertificationCarriesFingerprintNameAndTheDateOfTheCheck) {
  Answer(0, goodReply);
  PressInstallInModalWindow();
  ASSERT_TRUE(certShown);
  EXPECT_EQ(certTexts,
            (std::vector<std::string>{"软件MD5 : " + kFingerprint, "软件名称 : Parvalo", "发布时间 : 2026-03-09"}));
}

// ---- the check box ------------------------------------------------------------------------

TEST_F(VerificationWindow, WithTheBoxClearedThePressGoesOnAtOnceWithoutAsking) {
  form->CbSafeCheck->SetChecked(false);
  PressInstallInModalWindow();
  EXPECT_TRUE(asked.empty());
  EXPECT_FALSE(certShown);
  EXPECT_TRUE(form->ProceedToInstall);
  EXPECT_FALSE(windowStayedOpen);
  EXPECT_FALSE(CurrentBalloon() && CurrentBalloon()->Visible());
}

TEST_F(VerificationWindow, ClearingTheBoxAdvisesAndTickingItAgainSaysNothing) {
  form->CbSafeCheck->Click();
  ASSERT_NE(CurrentBalloon(), nullptr);
  EXPECT_TRUE(CurrentBalloon()->Visible());
  EXPECT_EQ(CurrentBalloon()->TitleLabel->Caption(), vt::kAdviceTitle);
  TBalloon* advice = CurrentBalloon();
  form->CbSafeCheck->Click();
  EXPECT_TRUE(form->CbSafeCheck->Checked());
  EXPECT_EQ(CurrentBalloon(), advice);
  EXPECT_FALSE(OpenOnClick());
}

TEST_F(VerificationWindow, TheKeyboardReachesTheCheckBox) {
  // The check box is first in tab order and has the focus when the window opens; Tab keeps it
  // there (the progress bar takes no focus); Space clears it as a click does, with the advice.
  TControl* focusedAtOpen = nullptr;
  hl::WhenModal([&](TForm&) {
    focusedAtOpen = form->ActiveControl();
    hl::PostKey(*form, hl::Key::Tab);
    hl::PostKey(*form, hl::Key::Space, 1);
    hl::Post([this] { form->Close(); }, 2);
  });
  form->ShowModal();
  EXPECT_EQ(focusedAtOpen, form->CbSafeCheck);
  EXPECT_EQ(form->ActiveControl(), form->CbSafeCheck);
  EXPECT_FALSE(form->CbSafeCheck->Checked());
  ASSERT_NE(CurrentBalloon(), nullptr);
  EXPECT_EQ(CurrentBalloon()->TitleLabel->Caption(), vt::kAdviceTitle);
}

TEST_F(VerificationWindow, EnterInstallsAsTheButtonDoesAndEscClosesWithoutGoingOn) {
  form->CbSafeCheck->SetChecked(false);
  hl::WhenModal([&](TForm&) { hl::PostKey(*form, hl::Key::Enter); });
  form->ShowModal();
  EXPECT_TRUE(form->ProceedToInstall);

  form->CbSafeCheck->SetChecked(true);
  form->ProceedToInstall = false;
  hl::WhenModal([&](TForm&) { hl::PostKey(*form, hl::Key::Escape); });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(hl::LastLoopEnd(), hl::LoopEnd::ModalResult);
  EXPECT_FALSE(form->ProceedToInstall);
  EXPECT_TRUE(asked.empty());
}

// ---- the user while the walk runs ------------------------------------------------------------

TEST_F(VerificationWindow, ClosingTheWindowDuringTheWalkEndsItWithoutGoingOn) {
  WatchBalloons();
  Answer(1, goodReply);
  duringFetch = [this](const std::string&) { hl::PostClose(*form); };
  hl::WhenModal([this](TForm&) { hl::PostClick(*form->BtnInstall); });
  form->ShowModal();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_FALSE(form->ProceedToInstall);
  EXPECT_FALSE(certShown);
  EXPECT_EQ(ShownBalloonTitles(), std::vector<std::string>{});
}

TEST_F(VerificationWindow, ClosingTheWindowWhileTheLastMirrorIsAskedShowsNoNotice) {
  WatchBalloons();
  duringFetch = [this](const std::string& url) {
    if (url == kMirrors[2] + kPath) hl::PostClose(*form);
  };
  hl::WhenModal([this](TForm&) { hl::PostClick(*form->BtnInstall); });
  form->ShowModal();
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(ShownBalloonTitles(), std::vector<std::string>{});
  EXPECT_FALSE(OpenOnClick());
  EXPECT_FALSE(form->ProceedToInstall);
}

// The user's close while a mirror is slow to answer, by every route: the close button, Alt+F4 and
// WM_CLOSE from outside all close the form; the task bar's "Close window" closes the modal form
// through the application's window. The wait for the answer ends at the close (within one
// slice of the wait), and nothing goes on, whatever the mirror answers after it.
TEST_F(VerificationWindow, AClosePendingAnAnswerIsFinalByEveryRoute) {
  struct Route {
    const char* what;
    std::function<void(TForm&, std::uint64_t)> close;
  };
  const Route routes[] = {
      {"the window's close", [](TForm& f, std::uint64_t at) { hl::PostClose(f, at); }},
      {"the task bar's close", [](TForm&, std::uint64_t at) { hl::PostTaskBarClose(at); }},
  };
  constexpr std::uint64_t kAnswerMs = 4000;
  for (const Route& route : routes) {
    for (std::uint64_t closeAt : {200, 2000, 3900}) {
      SCOPED_TRACE(std::string(route.what) + " at " + std::to_string(closeAt) + " ms");
      TearDown();
      SetUp();
      asked.clear();
      WatchBalloons();
      Answer(0, goodReply);
      duringFetch = [this](const std::string&) {
        const std::uint64_t due = hl::Now() + kAnswerMs;
        auto ended = OnScopeExit([this] { fetchEndedAt = hl::Now(); });
        // As the transport waits: in slices, the toolkit's while-waiting processing between them.
        WaitInSlices(-1, [due](int slice) {
          hl::AdvanceClock(static_cast<std::uint64_t>(slice));
          return hl::Now() >= due;
        });
      };
      hl::WhenModal([&](TForm& f) {
        hl::WhenModal([this](TForm&) { certShown = true; });
        hl::PostClick(*form->BtnInstall);
        route.close(f, closeAt);
      });
      EXPECT_EQ(form->ShowModal(), mrCancel);
      EXPECT_EQ(asked.size(), 1u);
      EXPECT_LE(fetchEndedAt, closeAt + kWaitSliceMs) << "the answer was waited out";
      EXPECT_FALSE(certShown);
      EXPECT_FALSE(form->ProceedToInstall);
      EXPECT_EQ(ShownBalloonTitles(), std::vector<std::string>{});
    }
  }
}

// The certification window's close by the task bar is its own close: the installation goes on.
// A close of the verification window meanwhile (WM_CLOSE from outside) is final.
TEST_F(VerificationWindow, TheTaskBarClosesTheCertificationAsItsOwnCloseDoes) {
  Answer(0, goodReply);
  hl::WhenModal([this](TForm&) {
    hl::WhenModal([this](TForm&) {
      certShown = true;
      hl::PostTaskBarClose();
    });
    hl::PostClick(*form->BtnInstall);
  });
  form->ShowModal();
  EXPECT_TRUE(certShown);
  EXPECT_TRUE(form->ProceedToInstall);

  TearDown();
  SetUp();
  Answer(0, goodReply);
  hl::WhenModal([this](TForm&) {
    hl::WhenModal([this](TForm& cert) {
      hl::PostClose(*form);
      hl::PostClose(cert, 1);
    });
    hl::PostClick(*form->BtnInstall);
  });
  form->ShowModal();
  EXPECT_FALSE(form->ProceedToInstall);
}

TEST_F(VerificationWindow, APressArrivingDuringTheWalkDoesNotStartASecondWalk) {
  duringFetch = [this](const std::string&) {
    if (asked.size() == 1) hl::PostClick(*form->BtnInstall);
  };
  form->BtnInstallClick();
  EXPECT_EQ(asked.size(), kMirrors.size());
}

// ---- creation, copy and link ---------------------------------------------------------------

TEST_F(VerificationWindow, CreationFillsCaptionTitleNoticeAndFingerprint) {
  EXPECT_EQ(form->Caption(), "Parvalo 安装程序 2011.04.25");
  EXPECT_EQ(Application->Title(), "Parvalo安装程序");
  EXPECT_EQ(form->Label3->Caption(),
            "温馨提示：Parvalo已加入防木马恶意串改功能，请您使用默认选项[防木马验证]进行服务器认证码验证");
  EXPECT_EQ(form->LblExeMD5->Caption(), "md5 : " + kFingerprint);
  EXPECT_TRUE(form->CbSafeCheck->Checked());
  EXPECT_FALSE(form->ProceedToInstall);
  // The balloon is ready, hidden and not armed.
  ASSERT_NE(CurrentBalloon(), nullptr);
  EXPECT_FALSE(CurrentBalloon()->Visible());
  EXPECT_FALSE(OpenOnClick());
}

TEST_F(VerificationWindow, TheLayoutKeepsItsPlacesColoursAndFonts) {
  EXPECT_EQ(form->Width(), 676);
  EXPECT_EQ(form->Height(), 155);
  EXPECT_EQ(form->ClientWidth(), 668);
  EXPECT_EQ(form->ClientHeight(), 121);
  EXPECT_EQ(form->Color(), ColorFromRGB(245, 250, 254));
  EXPECT_TRUE(form->LblURL->Font().Underline());
  // The bar lies along the bottom edge, across the whole client width.
  EXPECT_EQ(form->ProgressBar1->Top(), 121 - 6);
  EXPECT_EQ(form->ProgressBar1->Width(), 668);
  EXPECT_EQ(form->ProgressBar1->Height(), 6);
  EXPECT_FALSE(form->BtnCopyToClip->Visible());
  EXPECT_FALSE(form->BtnInstall->Glyph().Empty());
  // The long hint wraps inside its fixed box instead of running under the link.
  EXPECT_FALSE(form->LblHint->AutoSize());
  EXPECT_EQ(form->LblHint->Width(), 425);
}

TEST_F(VerificationWindow, TheMenuItemAndTheHiddenButtonCopyTheBareFingerprintAndSaySo) {
  platform::SetClipboardText(0, "something else");
  hl::PostMenuClick(*form->md51);
  hl::RunFor(1);
  EXPECT_EQ(platform::GetClipboardText(), kFingerprint);
  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  EXPECT_EQ(hl::MessageBoxes()[0].text, vt::kCopiedMessage);
  EXPECT_EQ(hl::MessageBoxes()[0].caption, "Parvalo安装程序");
  EXPECT_EQ(hl::MessageBoxes()[0].flags, gui::kMbOk);
  platform::SetClipboardText(0, "");
  form->BtnCopyToClipClick();
  EXPECT_EQ(platform::GetClipboardText(), kFingerprint);
  EXPECT_EQ(hl::MessageBoxes().size(), 2u);
}

TEST_F(VerificationWindow, PressingAnyButtonOnTheLinkOpensTheHomePage) {
  if (!testseams::PlatformTestSeams()) GTEST_SKIP() << "shell calls are only recorded in the Linux build";
  hl::PostMouseDown(*form->LblURL, mbRight, 3, 4);
  hl::RunFor(1);
  EXPECT_EQ(platform::TakeShellLog(), "open|" + kMirrors[2] + "||1\n");
}

// ---- the real client: request and progress ---------------------------------------------------

class VerificationWindowClient : public VerificationWindow {
 protected:
  void SetUp() override {
    VerificationWindow::SetUp();
    // The window's own FetchUrl over a scripted connection.
    form->FetchUrl = [this](const std::string& url) { return form->IdHTTP1->FetchUrl(url); };
    form->IdHTTP1->SetIOHandler(&io);
    MirrorList = {kMirrors[0]};
  }
  void TearDown() override {
    form->IdHTTP1->SetIOHandler(nullptr);
    VerificationWindow::TearDown();
  }
  TIdIOHandlerMemory io;
};

TEST_F(VerificationWindowClient, TheRequestIsTheVerificationHeadAndTheProgressBarFollowsTheBody) {
  io.AddInput("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(goodReply.size()) + "\r\n\r\n");
  io.AddInput(goodReply.substr(0, 10));
  io.AddInput(goodReply.substr(10));
  struct Seen {
    bool visible;
    int position, max;
  };
  std::vector<Seen> seen;
  auto work = form->IdHTTP1->OnWork;
  form->IdHTTP1->OnWork = [&](TIdComponent* s, TWorkMode m, std::int64_t n) {
    work(s, m, n);
    seen.push_back({form->ProgressBar1->Visible(), form->ProgressBar1->Position(), form->ProgressBar1->Max()});
  };
  hl::WhenModal([this](TForm&) { hl::PostClick(*form->FrmServerConfirm->SpeedButton1); });
  form->BtnInstallClick();

  EXPECT_EQ(io.Output(), "GET /" + kPath +
                             " HTTP/1.1\r\n"
                             "Content-Type: text/html\r\n"
                             "Host: 127.0.0.11:8080\r\n"
                             "Accept: text/html, */*\r\n"
                             "User-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\n"
                             "\r\n");
  const int size = static_cast<int>(goodReply.size());
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(seen.front().visible);
  EXPECT_EQ(seen.front().max, size);
  EXPECT_EQ(seen.back().position, size);
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_EQ(form->ProgressBar1->Position(), 0);
  EXPECT_TRUE(form->ProceedToInstall);
}

TEST_F(VerificationWindowClient, AnErrorStatusIsNoAnswer) {
  WatchBalloons();
  io.AddInput("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(goodReply.size()) + "\r\n\r\n" + goodReply);
  form->BtnInstallClick();
  EXPECT_EQ(ShownBalloonTitles(), (std::vector<std::string>{vt::kNoNetTitle, vt::kFailedTitle}));
  EXPECT_EQ(form->LblHint->Caption(), vt::kServerBusy);
  EXPECT_FALSE(form->ProceedToInstall);
}

// ---- a run nobody presses anything in (/passive, /quiet) --------------------------------------

TEST_F(VerificationWindow, AnUnattendedRunAsksAtOnceAndEndsWithItsVerdict) {
  struct Case {
    const char* what;
    std::string reply;  // empty: every mirror down
    TVerifyVerdict verdict;
  } const cases[] = {{"match", goodReply, vdMatch},
                     {"mismatch", BuildReplyFor("fedcba9876543210fedcba9876543210"), vdMismatch},
                     {"no answer", "", vdNoAnswer}};
  for (const Case& c : cases) {
    mirrors.clear();
    if (!c.reply.empty()) Answer(0, c.reply);
    form = std::make_unique<TFrmNetVerify>(nullptr);
    form->FetchUrl = [this](const std::string& url) -> std::string {
      auto it = mirrors.find(url.substr(0, url.size() - kPath.size()));
      if (it == mirrors.end()) throw Exception("Socket Error # 10061");
      return it->second.body;
    };
    form->PressAtOnce = true;
    const std::uint64_t start = hl::Now();
    // Nothing is pressed; a minute later the window must have gone by itself.
    hl::Post([this] { windowStayedOpen = windowStayedOpen || form->Visible(); }, 60000);
    hl::Post([this] { form->Close(); }, 60001);
    form->ShowModal();
    EXPECT_FALSE(windowStayedOpen) << c.what << ": the window waited";
    EXPECT_EQ(form->Verdict, c.verdict) << c.what;
    EXPECT_EQ(form->ProceedToInstall, c.verdict == vdMatch) << c.what;
    // The certification shows for its two seconds, and closes by itself.
    if (c.verdict == vdMatch) {
      EXPECT_GE(hl::Now() - start, TFrmNetVerify::kUnattendedCertificationMs) << c.what;
    }
  }
}
