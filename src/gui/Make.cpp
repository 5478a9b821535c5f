#include "gui/Make.h"

#include "base/SysUtils.h"

namespace gui {
namespace {
TControl* ParentOf(TControl* owner, TControl* parent) { return parent ? parent : owner; }
}  // namespace

TFont MakeFont(const std::string& name, int pixels, TColor color, unsigned style, int charset) {
  TFont f;
  f.Name = name;
  f.Height = -pixels;
  f.Color = color;
  f.Style = style;
  f.Charset = charset;
  return f;
}

TLabel* NewLabel(TControl* owner, const TLabelFields& f) {
  auto* l = new TLabel(owner);
  l->SetParent(ParentOf(owner, f.parent));
  l->SetFont(f.font);
  l->SetDesignPosition(f.place.left, f.place.top);
  l->SetCaption(f.caption);
  return l;
}

TLabel* NewFixedLabel(TControl* owner, const TLabelFields& f) {
  auto* l = new TLabel(owner);
  l->SetAutoSize(false);
  l->SetWordWrap(f.wrap);
  l->SetParent(ParentOf(owner, f.parent));
  l->SetDesignBounds(f.place.left, f.place.top, f.place.width, f.place.height);
  l->SetFont(f.font);
  l->SetCaption(f.caption);
  return l;
}

TSpeedButton* NewPictureButton(TControl* owner, const TButtonFields& f) {
  auto* b = new TSpeedButton(owner);
  b->SetParent(ParentOf(owner, f.parent));
  b->SetDesignBounds(f.place.left, f.place.top, f.place.width, f.place.height);
  b->SetFlat(true);
  b->SetCaption(f.caption);
  b->SetGlyphResource(f.picture);
  if (!f.hint.empty()) {
    b->SetHint(f.hint);
    b->SetShowHint(true);
  }
  b->SetVisible(f.visible);
  b->OnClick = f.onClick;
  return b;
}

TCheckBox* NewCheckBox(TControl* owner, const TCheckBoxFields& f) {
  auto* c = new TCheckBox(owner);
  c->SetParent(ParentOf(owner, f.parent));
  c->SetDesignBounds(f.place.left, f.place.top, f.place.width, f.place.height);
  c->SetFont(f.font);
  c->SetCaption(f.caption);
  c->SetChecked(f.checked);
  c->SetTabOrder(f.tabOrder);
  c->OnClick = f.onClick;
  return c;
}

TPanel* NewBottomPanel(TControl* owner, const TPanelFields& f) {
  auto* p = new TPanel(owner);
  p->SetParent(ParentOf(owner, f.parent));
  p->SetBevelOuter(bvNone);
  p->SetDesignBounds(f.place.left, f.place.top, f.place.width, f.place.height);
  p->SetColor(f.color);
  p->SetAlign(alBottom);
  return p;
}

TProgressBar* NewBottomProgressBar(TControl* owner, const TProgressBarFields& f) {
  auto* p = new TProgressBar(owner);
  p->SetParent(ParentOf(owner, f.parent));
  p->SetDesignBounds(f.place.left, f.place.top, f.place.width, f.place.height);
  p->SetAlign(alBottom);
  p->SetMin(0);
  p->SetMax(f.max);
  p->SetStep(f.step);
  p->SetPosition(0);
  p->SetTabOrder(f.tabOrder);
  return p;
}

TImage* NewPicture(TControl* owner, const TPictureFields& f) {
  auto* i = new TImage(owner);
  i->SetParent(ParentOf(owner, f.parent));
  i->SetDesignPosition(f.place.left, f.place.top);
  i->SetTransparent(f.transparent);
  i->SetAutoSize(true);
  if (!f.picture.empty()) i->SetPictureResource(f.picture);
  i->OnClick = f.onClick;
  return i;
}

TTimer* NewTimer(TComponent* owner, const TTimerFields& f) {
  auto* t = new TTimer(owner);
  t->SetEnabled(false);
  t->SetInterval(f.interval);
  t->OnTimer = f.onTimer;
  t->SetEnabled(f.enabled);
  return t;
}

}  // namespace gui
