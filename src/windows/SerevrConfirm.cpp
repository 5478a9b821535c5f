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
  SetBounds(217, 209, 418, 208);
  SetClientWidth(410);
  SetClientHeight(174);
  SetColor(kFormColor);
  SetFont(TFont());  // MS Sans Serif, 11 pixels

  // clang-format off
  LblTime = gui::NewFixedLabel(this, this, {237, 42, 135, 13}, SongTi(12));
  Label2 = gui::NewFixedLabel(this, this, {30, 16, 158, 13}, SongTi(12), "来自QOR软件官方正式版");
  // The build's home page, fixed text of this window: it does not follow HomePageUrl.
  Label3 = gui::NewFixedLabel(this, this, {208, 16, 169, 13}, SongTi(12), PublisherText(kHomePageUrl));
  LblMD5 = gui::NewFixedLabel(this, this, {29, 66, 343, 13}, SongTi(12));
  LbSoft = gui::NewFixedLabel(this, this, {29, 42, 196, 13}, SongTi(12));
  Panel36 = gui::NewBottomPanel(this, this, {0, 91, 410, 1}, kLineColor);
  Panel1 = gui::NewBottomPanel(this, this, {0, 133, 410, 41}, kFormColor);
  SpeedButton1 = gui::NewPictureButton(this, Panel1, {200, 9, 80, 24}, kInstallFaceResource, [this] { SpeedButton1Click(); });
  Panel2 = gui::NewBottomPanel(this, this, {0, 92, 410, 41}, clWhite);
  Label4 = gui::NewFixedLabel(this, Panel2, {26, 15, 335, 13}, SongTi(13, verifystyle::kGreen, fsBold),
                              "验证结果：本软件未经过木马恶意串改,请您放心使用!!!");
  Panel3 = gui::NewBottomPanel(this, Panel2, {0, 40, 410, 1}, kLineColor);
  // clang-format on
}

void TFrmServerConfirm::SetCheckTexts(const std::string& fingerprint, const std::string& displayName,
                                      const platform::LocalDateTime& checkDate) {
  LblMD5->SetCaption("软件MD5 : " + fingerprint);
  LbSoft->SetCaption("软件名称 : " + displayName);
  LblTime->SetCaption("发布时间 : " + FormatCheckDate(checkDate));
}

void TFrmServerConfirm::SpeedButton1Click() { Close(); }

std::string PublisherText(const std::string& homePage) {
  // The whole base URL; a long one is cut at the label's fixed width, as any fixed label is.
  return "发布自" + homePage;
}

std::string FormatCheckDate(const platform::LocalDateTime& date) {
  return IntToStrZeroPadded(date.year, 4) + "-" + IntToStrZeroPadded(date.month, 2) + "-" +
         IntToStrZeroPadded(date.day, 2);
}
