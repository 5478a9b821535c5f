#include "windows/FrmCheckShareCode.h"

#include <algorithm>
#include <limits>

#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "codes/ShareCodeCheckunit.h"
#include "gui/Make.h"
#include "settings/allparam.h"
#include "verify_client/VerifyClient.h"
#include "windows/Balloon.h"
#include "windows/SerevrConfirm.h"
#include "windows/VerifyStyle.h"

std::string VerifyRequestPath;

namespace verifytext {
const char* const kAskingPrefix = "正在向服务器发送验证码：";
const char* const kAskingSuffix = "请稍候...";
const char* const kServerBusy = "服务器繁忙，正在切换服务器，请稍候...";
const char* const kNoNetTitle = "请您连接互联网已进行防木马云验证。";
const char* const kNoNetText = "官方云验证可以避免木马程序恶意串改。";
const char* const kFailedTitle = "服务器安全码验证失败，这可能是您没有连接互联网或此软件被恶意串改。";
const char* const kFailedText = "请您到官方主页下载最新版本或联系我们以获得技术支持。";
const char* const kAdviceTitle = "防木马云验证可以避免QOR软件在互联网传播过程中被恶意串改";
const char* const kAdviceText = "强烈建议您选择此项以保护您电脑的安全，避免恶意木马的入侵。";
const char* const kCopiedMessage = "已将软件MD5放入剪贴板，您可使用Ctrl+V粘贴到任何地方。";
const char* const kDesignHint = "请您下载软件最新版本，或联系我们以获得技术支持。";
}  // namespace verifytext

namespace {

using verifystyle::kFormColor;
using verifystyle::kGreen;
using verifystyle::SongTi;
const TColor kRed = ColorFromRGB(255, 0, 0);

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, 0, std::numeric_limits<int>::max()));
}

}  // namespace

TFrmNetVerify::TFrmNetVerify(TComponent* owner) : TForm(owner), IdHTTP1(std::make_unique<TIdHTTP>()) {
  SetVisible(false);
  SetBorderStyle(bsSizeable);
  // The client size decides the layout; the outer size (676 x 155 with a standard frame)
  // follows from the frame.
  SetDesignBounds(49, 176, 676, 155);
  SetDesignClientSize(668, 121);
  SetColor(kFormColor);
  SetFont(SongTi(11, clWindowText));

  // clang-format off
  Label3 = gui::NewLabel(this, {.place = {23, 8}, .font = SongTi(12, clBlack)});
  BtnInstall = gui::NewPictureButton(this, {.place = {462, 32, 79, 26}, .picture = kInstallFaceResource,
                                            .caption = kInstallCaption, .onClick = [this] { BtnInstallClick(); }});
  BtnCopyToClip = gui::NewPictureButton(this, {.place = {301, 33, 23, 22}, .picture = kCopyGlyphResource,
                                               .caption = kCopyCaption, .hint = "Copy md5 to Clipboard",
                                               .visible = false, .onClick = [this] { BtnCopyToClipClick(); }});
  LblExeMD5 = gui::NewLabel(this, {.place = {28, 37}, .font = SongTi(13, kGreen)});
  LblURL = gui::NewLabel(this, {.place = {467, 76}, .font = SongTi(12, kGreen, fsUnderline), .caption = "下载软件最新版本"});
  LblHint = gui::NewFixedLabel(this, {.place = {32, 77, 425, 12}, .font = SongTi(12, kRed),
                                      .caption = verifytext::kDesignHint, .wrap = true});
  CbSafeCheck = gui::NewCheckBox(this, {.place = {338, 37, 111, 17}, .font = SongTi(13, kGreen), .caption = "防木马云验证",
                                        .checked = true, .tabOrder = 0, .onClick = [this] { CbSafeCheckClick(); }});
  ProgressBar1 = gui::NewBottomProgressBar(this, {.place = {0, 115, 668, 6}, .max = 100, .tabOrder = 1});
  // clang-format on

  // Beyond the design table: the link shows the hand; Enter installs, as the button does.
  LblURL->SetCursor(crHandPoint);
  LblURL->OnMouseDown = [this](TMouseButton b, TShiftState s, int x, int y) { LblURLMouseDown(b, s, x, y); };
  SetDefaultControl(BtnInstall);

  ConfigureVerifyClient(*IdHTTP1);
  IdHTTP1->OnWorkBegin = [this](TIdComponent* s, TWorkMode m, std::int64_t max) { IdHTTP1WorkBegin(s, m, max); };
  IdHTTP1->OnWork = [this](TIdComponent* s, TWorkMode m, std::int64_t n) { IdHTTP1Work(s, m, n); };
  IdHTTP1->OnWorkEnd = [this](TIdComponent* s, TWorkMode m) { IdHTTP1WorkEnd(s, m); };
  // What the window takes from outside itself, each a seam the tests replace.
  FetchUrl = [this](const std::string& url) { return FetchReplyLogged(*IdHTTP1, url); };
  DecimalSeparator = [] { return platform::DecimalSeparator(); };
  Today = [] { return platform::LocalNow(); };

  PopupMenu1 = new TPopupMenu(this);
  md51 = PopupMenu1->Add("软件md5码", [this] { md51Click(); });
  SetPopupMenu(PopupMenu1);

  PressTimer = gui::NewTimer(this, {.interval = 1, .enabled = false, .onTimer = [this] {
                                      PressTimer->SetEnabled(false);
                                      LogLine("an unattended run: install pressed as the window opened");
                                      BtnInstallClick();
                                    }});
  OnShow = [this] { PressTimer->SetEnabled(PressAtOnce); };

  OnCreate = [this] { FormCreate(); };
  Loaded();
}

TFrmNetVerify::~TFrmNetVerify() = default;

void TFrmNetVerify::FormCreate() {
  PrepareBalloon(false);
  SetCaption(ProductDisplayName + " 安装程序 2011.04.25");
  Application->SetTitle(ProductDisplayName + "安装程序");
  Label3->SetCaption("温馨提示：" + ProductDisplayName +
                     "已加入防木马恶意串改功能，请您使用默认选项[防木马验证]进行服务器认证码验证");
  LblExeMD5->SetCaption("md5 : " + ShareCode->GetExeMD5());
}

void TFrmNetVerify::BtnInstallClick() {
  // A press that arrives while the walk lets messages through is ignored: the walk under
  // way decides.
  if (walking_) return;
  ProceedToInstall = false;
  LogLine(CbSafeCheck->Checked() ? "install pressed, the cloud check ticked"
                                 : "install pressed, the cloud check cleared");
  if (CbSafeCheck->Checked()) {
    walking_ = true;
    auto walked = OnScopeExit([this] { walking_ = false; });
    if (!VerifyWithMirrors()) {
      // Nobody is there to try again or close the window: the verdict ends the run.
      if (PressAtOnce && !CloseRequested()) Close();
      return;
    }
  }
  // The user's close is final, also one that came while the certification was up.
  if (CloseRequested()) return;
  ProceedToInstall = true;
  Close();
}

bool TFrmNetVerify::CloseRequested() const { return (Modal() && ModalResult() != mrNone) || Application->Terminated(); }

bool TFrmNetVerify::VerifyWithMirrors() {
  bool noAnswer = true;
  std::string body;
  VerifyRequestPath = BuildVerifyRequestPath(DecimalSeparator());
  for (const std::string& mirror : MirrorList) {
    const std::string url = mirror + VerifyRequestPath;
    LblHint->SetCaption(verifytext::kAskingPrefix + url + verifytext::kAskingSuffix);
    LogText("mirror " + std::to_string(&mirror - MirrorList.data() + 1) + " of " + std::to_string(MirrorList.size()) +
            ": " + url);
    Application->ProcessMessages();
    // The user closed the window while waiting: that ends the check, and nothing goes on.
    if (CloseRequested()) return false;
    bool answered = false;
    try {
      auto hide = OnScopeExit([this] { HideProgress(); });
      body = FetchUrl(url);
      // Only a code decides. Nothing but blanks, or a page (a hotel's or airport's sign-in
      // portal answers every address with one), is no answer, and must not stop the walk with
      // a verdict of tampering.
      answered = ShareCode->IsMirrorAnswer(body);
      if (!answered)
        LogLine(Trim(body).empty() ? "  no answer: the reply holds nothing but blanks"
                                   : "  no answer: the network answered with a page (a sign-in portal?)");
    } catch (...) {
      // Any failure of the GET means no answer from this mirror; its text is not shown. A
      // GET that the user's close abandoned ends here too.
    }
    // The user closed the window while the GET waited: whatever the mirror said, nothing goes on.
    if (CloseRequested()) return false;
    if (answered) {
      LblHint->SetCaption("");
      noAnswer = false;
      break;
    }
    LblHint->SetCaption(verifytext::kServerBusy);
    Application->ProcessMessages();
    if (CloseRequested()) return false;
  }
  Application->ProcessMessages();  // a close that came with the answer
  if (CloseRequested()) return false;

  if (noAnswer) ShowBalloonAtCursor(verifytext::kNoNetTitle, verifytext::kNoNetText);
  // The first answer decides, cleaned up and decoded as the integrity record does; no answer
  // is the empty reply, which never matches.
  const bool matches = ShareCode->ReplyMatches(noAnswer ? std::string() : body);
  Verdict = matches ? vdMatch : noAnswer ? vdNoAnswer : vdMismatch;
  if (!matches) {
    const char* next = PressAtOnce ? "failure balloon, the run ends" : "failure balloon, the window stays";
    LogText(noAnswer ? std::string("verdict: no mirror answered; ") + next
                     : "verdict: mismatch, the reply decodes to \"" + ShareCode->GetServerCode() + "\"; " + next);
    LblHint->SetVisible(true);
    ShowBalloonAtCursor(verifytext::kFailedTitle, verifytext::kFailedText);
    SetOpenOnClick(true);
    return false;
  }

  LblHint->SetVisible(false);
  LogLine("verdict: match; the certification window shown");
  if (!FrmServerConfirm) FrmServerConfirm = new TFrmServerConfirm(this);
  FrmServerConfirm->SetCheckTexts(ShareCode->GetExeMD5(), ProductDisplayName, Today());
  if (PressAtOnce)
    FrmServerConfirm->ShowFor(Application->Quiet() ? 0 : kUnattendedCertificationMs);
  else
    FrmServerConfirm->ShowModal();
  return true;
}

void TFrmNetVerify::CbSafeCheckClick() {
  if (!CbSafeCheck->Checked()) ShowBalloonAtCursor(verifytext::kAdviceTitle, verifytext::kAdviceText);
}

void TFrmNetVerify::CopyFingerprintToClipboard() {
  if (!platform::SetClipboardText(Handle(), ShareCode->GetExeMD5())) throw Exception("Cannot open clipboard");
  Application->MessageBox(verifytext::kCopiedMessage, Application->Title(), gui::kMbOk);
}

void TFrmNetVerify::md51Click() { CopyFingerprintToClipboard(); }

void TFrmNetVerify::BtnCopyToClipClick() { CopyFingerprintToClipboard(); }

void TFrmNetVerify::LblURLMouseDown(TMouseButton, TShiftState, int, int) {
  platform::ShellExecute(Application->Handle(), "open", platform::PathFromText(HomePageUrl), TPath(),
                         platform::kShowNormal);
}

// A body may come as many pieces (a chunked one: one work per chunk). The bar shows from the
// first piece and follows each; it is hidden once, when the mirror's request ends
// (HideProgress), not after each piece: a stream of small chunks would otherwise show and hide
// it thousands of times a second and keep the window from answering.
void TFrmNetVerify::IdHTTP1WorkBegin(TIdComponent*, TWorkMode, std::int64_t maximum) {
  ProgressBar1->SetPosition(0);
  ProgressBar1->SetMax(ClampToInt(maximum));
  ProgressBar1->SetVisible(true);
}

void TFrmNetVerify::IdHTTP1Work(TIdComponent*, TWorkMode, std::int64_t count) {
  ProgressBar1->SetPosition(ClampToInt(count));
}

void TFrmNetVerify::IdHTTP1WorkEnd(TIdComponent*, TWorkMode) {}

void TFrmNetVerify::HideProgress() {
  ProgressBar1->SetPosition(0);
  ProgressBar1->SetVisible(false);
}
