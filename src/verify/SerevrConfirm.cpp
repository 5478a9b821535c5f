#include "verify/SerevrConfirm.h"

#include "base/SysUtils.h"

#include "launcher/MirrorConfig.h"
#include "verify/VerifyStyle.h"

namespace {

using verifystyle::kFormColor;
using verifystyle::SongTi;
const TColor kLineColor = ColorFromRGB(223, 223, 223);

/// A label of fixed size: it clips its text at its edges and never wraps.
TLabel* FixedLabel(TComponent* owner, TControl* parent, int left, int top, int width, int height,
                   const TFont& font, const std::string& text = "") {
  auto* l = new TLabel(owner);
  l->SetAutoSize(false);
  l->SetWordWrap(false);
  l->SetParent(parent);
  l->SetBounds(left, top, width, height);
  l->SetFont(font);
  l->SetCaption(text);
  return l;
}

/// A panel without bevel, aligned to its parent's bottom edge from its designed place.
TPanel* BottomPanel(TComponent* owner, TControl* parent, int left, int top, int width, int height,
                    TColor color) {
  auto* p = new TPanel(owner);
  p->SetParent(parent);
  p->SetBevelOuter(bvNone);
  p->SetBounds(left, top, width, height);
  p->SetColor(color);
  p->SetAlign(alBottom);
  return p;
}

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
  TFont font;
  font.Name = "MS Sans Serif";
  font.Height = -11;
  font.Color = clWindowText;
  SetFont(font);

  LblTime = FixedLabel(this, this, 237, 42, 135, 13, SongTi(12));
  Label2 = FixedLabel(this, this, 30, 16, 158, 13, SongTi(12), "来自QOR软件官方正式版");
  Label3 = FixedLabel(this, this, 208, 16, 169, 13, SongTi(12), PublisherText(kHomePageUrl));
  LblMD5 = FixedLabel(this, this, 29, 66, 343, 13, SongTi(12));
  LbSoft = FixedLabel(this, this, 29, 42, 196, 13, SongTi(12));

  Panel36 = BottomPanel(this, this, 0, 91, 410, 1, kLineColor);
  Panel1 = BottomPanel(this, this, 0, 133, 410, 41, kFormColor);
  SpeedButton1 = new TSpeedButton(this);
  SpeedButton1->SetParent(Panel1);
  SpeedButton1->SetBounds(200, 9, 80, 24);
  SpeedButton1->SetFlat(true);
  try {
    TBitmap face;
    face.LoadFromResourceName(kInstallFaceResource);
    SpeedButton1->SetGlyph(face);
  } catch (const Exception&) {
    // Without its picture the button is bare but still closes the window.
  }
  SpeedButton1->OnClick = [this] { SpeedButton1Click(); };

  Panel2 = BottomPanel(this, this, 0, 92, 410, 41, clWhite);
  Label4 = FixedLabel(this, Panel2, 26, 15, 335, 13, SongTi(13, verifystyle::kGreen, fsBold),
                      "验证结果：本软件未经过木马恶意串改,请您放心使用!!!");
  Panel3 = BottomPanel(this, Panel2, 0, 40, 410, 1, kLineColor);
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
