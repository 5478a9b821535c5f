#include "windows/SerevrConfirm.h"

#include "base/SysUtils.h"
#include "gui/Make.h"
#include "settings/MirrorConfig.h"
#include "windows/VerifyStyle.h"

namespace {

using verifystyle::kFormColor;
using verifystyle::SongTi;
const TColor kLineColor = ColorFromRGB(223, 223, 223);

}  // namespace

TFrmServerConfirm::TFrmServerConfirm(TComponent* owner) : TForm(owner) {
  SetVisible(false);
  SetCaption("绿色认证");
  SetBorderStyle(bsSizeable);
  // The client size decides the layout; the outer size (418 x 208 with a standard frame)
  // follows from the frame.
  SetDesignBounds(217, 209, 418, 208);
  SetDesignClientSize(410, 174);
  SetColor(kFormColor);
  SetFont(TFont());  // MS Sans Serif, 11 pixels

  // clang-format off
  LblTime = gui::NewFixedLabel(this, {.place = {237, 42, 135, 13}, .font = SongTi(12)});
  Label2 = gui::NewFixedLabel(this, {.place = {30, 16, 158, 13}, .font = SongTi(12), .caption = "来自QOR软件官方正式版"});
  // The build's home page, fixed text of this window: it does not follow HomePageUrl.
  Label3 = gui::NewFixedLabel(this, {.place = {208, 16, 169, 13}, .font = SongTi(12), .caption = PublisherText(kHomePageUrl)});
  LblMD5 = gui::NewFixedLabel(this, {.place = {29, 66, 343, 13}, .font = SongTi(12)});
  LbSoft = gui::NewFixedLabel(this, {.place = {29, 42, 196, 13}, .font = SongTi(12)});
  Panel36 = gui::NewBottomPanel(this, {.place = {0, 91, 410, 1}, .color = kLineColor});
  Panel1 = gui::NewBottomPanel(this, {.place = {0, 133, 410, 41}, .color = kFormColor});
  SpeedButton1 = gui::NewPictureButton(this, {.parent = Panel1, .place = {200, 9, 80, 24}, .picture = kInstallFaceResource,
                                              .caption = kInstallCaption, .onClick = [this] { SpeedButton1Click(); }});
  Panel2 = gui::NewBottomPanel(this, {.place = {0, 92, 410, 41}, .color = clWhite});
  Label4 = gui::NewFixedLabel(this, {.parent = Panel2, .place = {26, 15, 335, 13}, .font = SongTi(13, verifystyle::kGreen, fsBold),
                                     .caption = "验证结果：本软件未经过木马恶意串改,请您放心使用!!!"});
  Panel3 = gui::NewBottomPanel(this, {.parent = Panel2, .place = {0, 40, 410, 1}, .color = kLineColor});
  // clang-format on
  SetDefaultControl(SpeedButton1);
}

void TFrmServerConfirm::SetCheckTexts(const std::string& fingerprint, const std::string& displayName,
                                      const platform::LocalDateTime& checkDate) {
  LblMD5->SetCaption("软件MD5 : " + fingerprint);
  LbSoft->SetCaption("软件名称 : " + displayName);
  LblTime->SetCaption("发布时间 : " + FormatCheckDate(checkDate));
}

void TFrmServerConfirm::SpeedButton1Click() { Close(); }

void TFrmServerConfirm::ShowFor(unsigned ms) {
  if (!closeTimer_)
    closeTimer_ = gui::NewTimer(this, {.enabled = false, .onTimer = [this] {
                                         closeTimer_->SetEnabled(false);
                                         SpeedButton1Click();
                                       }});
  closeTimer_->SetInterval(ms > 0 ? ms : 1);
  closeTimer_->SetEnabled(true);
  ShowModal();
}

std::string PublisherText(const std::string& homePage) {
  // The whole base URL; a long one is cut at the label's fixed width, as any fixed label is.
  return "发布自" + homePage;
}

std::string FormatCheckDate(const platform::LocalDateTime& date) {
  return IntToStrZeroPadded(date.year, 4) + "-" + IntToStrZeroPadded(date.month, 2) + "-" +
         IntToStrZeroPadded(date.day, 2);
}
