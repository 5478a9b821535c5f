#include "gui/Make.h"

#include "base/SysUtils.h"

namespace gui {

TFont MakeFont(const std::string& name, int pixels, TColor color, unsigned style, int charset) {
  TFont f;
  f.Name = name;
  f.Height = -pixels;
  f.Color = color;
  f.Style = style;
  f.Charset = charset;
  return f;
}

TLabel* NewLabel(TComponent* owner, TControl* parent, int left, int top, const TFont& font, const std::string& text) {
  auto* l = new TLabel(owner);
  l->SetParent(parent);
  l->SetFont(font);
  l->SetLeft(left);
  l->SetTop(top);
  l->SetCaption(text);
  return l;
}

TLabel* NewFixedLabel(TComponent* owner, TControl* parent, TPlace place, const TFont& font, const std::string& text,
                      bool wrap) {
  auto* l = new TLabel(owner);
  l->SetAutoSize(false);
  l->SetWordWrap(wrap);
  l->SetParent(parent);
  l->SetBounds(place.left, place.top, place.width, place.height);
  l->SetFont(font);
  l->SetCaption(text);
  return l;
}

TSpeedButton* NewPictureButton(TComponent* owner, TControl* parent, TPlace place, const std::string& picture,
                               std::function<void()> onClick) {
  auto* b = new TSpeedButton(owner);
  b->SetParent(parent);
  b->SetBounds(place.left, place.top, place.width, place.height);
  b->SetFlat(true);
  try {
    TBitmap glyph;
    glyph.LoadFromResourceName(picture);
    b->SetGlyph(glyph);
  } catch (const Exception&) {
    // A missing picture leaves the button bare; it still works.
  }
  b->OnClick = std::move(onClick);
  return b;
}

TCheckBox* NewCheckBox(TComponent* owner, TControl* parent, TPlace place, const TFont& font, const std::string& caption,
                       bool checked, std::function<void()> onClick) {
  auto* c = new TCheckBox(owner);
  c->SetParent(parent);
  c->SetBounds(place.left, place.top, place.width, place.height);
  c->SetFont(font);
  c->SetCaption(caption);
  c->SetChecked(checked);
  c->OnClick = std::move(onClick);
  return c;
}

TPanel* NewBottomPanel(TComponent* owner, TControl* parent, TPlace place, TColor color) {
  auto* p = new TPanel(owner);
  p->SetParent(parent);
  p->SetBevelOuter(bvNone);
  p->SetBounds(place.left, place.top, place.width, place.height);
  p->SetColor(color);
  p->SetAlign(alBottom);
  return p;
}

TProgressBar* NewBottomProgressBar(TComponent* owner, TControl* parent, TPlace place, int max) {
  auto* p = new TProgressBar(owner);
  p->SetParent(parent);
  p->SetBounds(place.left, place.top, place.width, place.height);
  p->SetAlign(alBottom);
  p->SetMin(0);
  p->SetMax(max);
  p->SetPosition(0);
  return p;
}

}  // namespace gui
