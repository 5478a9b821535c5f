#include "gui/Controls.h"

#include <algorithm>

#include "gui/Backend.h"

// ---- TComponent -----------------------------------------------------------------------

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    components_.pop_back();
    c->owner_ = nullptr;
    delete c;
  }
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it == components_.end()) return;
  components_.erase(it);
  c->owner_ = nullptr;
}

// ---- TControl -------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  // Owned components go first, while this control is still whole; children owned by
  // someone else are only taken off it.
  DestroyComponents();
  for (TControl* c : children_) {
    c->parent_ = nullptr;
    c->DestroyHandle();
  }
  children_.clear();
  if (parent_) {
    auto& sib = parent_->children_;
    sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
    parent_->Invalidate();  // (no virtual calls here: the derived parts are gone)
  }
  peer_.reset();
}

bool TControl::IsWindowed() const {
  switch (Kind()) {
    case TControlKind::Label:
    case TControlKind::Image: return false;
    default: return true;
  }
}

void TControl::DestroyHandle() {
  for (TControl* c : children_) c->DestroyHandle();
  peer_.reset();
}

void TControl::SetParent(TControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    auto& sib = parent_->children_;
    sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
    if (!IsWindowed()) parent_->Invalidate();
    DestroyHandle();
  }
  parent_ = parent;
  if (!parent_) return;
  parent_->children_.push_back(this);
  if (parentColor_) color_ = parent_->color_;
  if (parentFont_) {
    font_ = parent_->font_;
    designFont_ = parent_->designFont_;
  } else {
    font_ = gui::ScaleFont(designFont_, PixelsPerInch());  // its own font, at its new form's resolution
  }
  ParentChanged();
  if (align_ != alNone) parent_->RealignWith(this);
  if (parent_->HandleAllocated()) HandleNeeded();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  bool sized = width != width_ || height != height_;
  if (left == left_ && top == top_ && !sized) return;
  if (parent_ && !IsWindowed()) parent_->Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (peer_) peer_->BoundsChanged();
  if (parent_ && align_ != alNone && !parent_->aligning_) parent_->RealignWith(this);
  if (sized) Realign();
}

void TControl::SetDesignBounds(int left, int top, int width, int height) {
  design_ = Design::Bounds;
  designRect_ = {left, top, left + width, top + height};
  SetBounds(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
}

void TControl::SetDesignPosition(int left, int top) {
  design_ = Design::Position;
  designRect_ = {left, top, left, top};
  SetBounds(Scaled(left), Scaled(top), width_, height_);
}

int TControl::PixelsPerInch() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (int ppi = c->OwnPixelsPerInch()) return ppi;
  return gui::kDesignPixelsPerInch;
}

int TControl::Scaled(int designPixels) const { return gui::ScaleLength(designPixels, PixelsPerInch()); }

void TControl::ApplyScale() {
  if (parentFont_ && parent_) designFont_ = parent_->designFont_;
  font_ = gui::ScaleFont(designFont_, PixelsPerInch());
  FontChanged();
  NotifyPeer();
  const TRect d = designRect_;
  if (design_ == Design::Bounds)
    SetBounds(Scaled(d.Left), Scaled(d.Top), Scaled(d.Width()), Scaled(d.Height()));
  else if (design_ == Design::Position)
    SetBounds(Scaled(d.Left), Scaled(d.Top), width_, height_);
  ScaleChanged();
  // The children at their design places first, then aligned once, in their designed order.
  aligning_ = true;
  for (TControl* c : children_) c->ApplyScale();
  aligning_ = false;
  Realign();
}

void TControl::Realign() { RealignWith(nullptr); }

void TControl::RealignWith(TControl* moved) {
  if (aligning_) return;
  aligning_ = true;
  std::vector<TControl*> bottom, top, client;
  for (TControl* c : children_) {
    if (c->align_ == alBottom)
      bottom.push_back(c);
    else if (c->align_ == alTop)
      top.push_back(c);
    else if (c->align_ == alClient)
      client.push_back(c);
  }
  // Controls aligned to the same edge keep their order along it: the one nearest to the
  // edge stays nearest. The control just placed or moved wins a tie, so that controls
  // aligned one by one at their designed positions end up in the designed order.
  // A control placed from the design is ordered by its designed edge (scaled): edges that
  // meet in the design may miss each other by a pixel once each value is rounded.
  const auto bottomEdge = [](const TControl* c) {
    return c->design_ == Design::Bounds ? c->Scaled(c->designRect_.Bottom) : c->top_ + c->height_;
  };
  const auto topEdge = [](const TControl* c) {
    return c->design_ == Design::Bounds ? c->Scaled(c->designRect_.Top) : c->top_;
  };
  std::stable_sort(bottom.begin(), bottom.end(), [moved, &bottomEdge](TControl* a, TControl* b) {
    int ea = bottomEdge(a), eb = bottomEdge(b);
    return ea != eb ? ea > eb : (a == moved && b != moved);
  });
  std::stable_sort(top.begin(), top.end(), [moved, &topEdge](TControl* a, TControl* b) {
    int ea = topEdge(a), eb = topEdge(b);
    return ea != eb ? ea < eb : (a == moved && b != moved);
  });
  int w = ClientWidth(), y0 = 0, y1 = ClientHeight();
  for (TControl* c : top) {
    c->SetBounds(0, y0, w, c->height_);
    y0 += c->height_;
  }
  for (TControl* c : bottom) {
    y1 -= c->height_;
    c->SetBounds(0, y1, w, c->height_);
  }
  for (TControl* c : client) c->SetBounds(0, y0, w, std::max(0, y1 - y0));
  aligning_ = false;
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (peer_)
    peer_->VisibleChanged();
  else if (parent_ && !IsWindowed())
    parent_->Invalidate();
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  NotifyPeer();
}

void TControl::SetColor(TColor c) {
  parentColor_ = false;
  color_ = c;
  NotifyPeer();
  for (TControl* ch : children_)
    if (ch->parentColor_) {
      ch->SetColor(c);
      ch->parentColor_ = true;
    }
}

void TControl::SetParentColor(bool v) {
  parentColor_ = v;
  if (v && parent_) {
    color_ = parent_->color_;
    NotifyPeer();
  }
}

void TControl::SetFont(const TFont& f) {
  parentFont_ = false;
  designFont_ = f;
  font_ = gui::ScaleFont(f, PixelsPerInch());
  FontChanged();
  NotifyPeer();
  for (TControl* ch : children_)
    if (ch->parentFont_) {
      ch->SetFont(f);
      ch->parentFont_ = true;
    }
}

void TControl::SetParentFont(bool v) {
  parentFont_ = v;
  if (v && parent_) {
    font_ = parent_->font_;
    designFont_ = parent_->designFont_;
    FontChanged();
    NotifyPeer();
  }
}

void TControl::SetCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  TextChanged();
  NotifyPeer();
}

void TControl::SetAlign(TAlign a) {
  align_ = a;
  if (parent_) parent_->RealignWith(this);
}

void TControl::SetHint(const std::string& h) {
  hint_ = h;
  NotifyPeer();
}

void TControl::SetShowHint(bool v) {
  showHint_ = v;
  NotifyPeer();
}

void TControl::Click() {
  if (OnClick) OnClick();
}

void TControl::MouseDown(TMouseButton b, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(b, shift, x, y);
}

void TControl::Invalidate() {
  if (peer_) peer_->Invalidate();
}

TPoint TControl::ClientToScreen(TPoint p) const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (c->Kind() == TControlKind::Form) {
      // A form's client area starts after its frame.
      p.X += c->left_ + (c->width_ - c->ClientWidth()) / 2;
      p.Y += c->top_ + (c->height_ - c->ClientHeight()) - (c->width_ - c->ClientWidth()) / 2;
    } else {
      p.X += c->left_;
      p.Y += c->top_;
    }
  }
  return p;
}

void TControl::NotifyPeer() {
  if (peer_) peer_->AppearanceChanged();
}

void TControl::HandleNeeded() {
  if (peer_) return;
  if (parent_ && !parent_->HandleAllocated()) {
    parent_->HandleNeeded();  // creates this one with the parent's children
    if (peer_) return;
  }
  peer_ = gui::TheBackend().CreatePeer(*this);
  Realised();
  for (TControl* c : children_) c->HandleNeeded();
}

std::intptr_t TControl::Handle() {
  HandleNeeded();
  return peer_ ? peer_->Handle() : 0;
}

// ---- TTimer ---------------------------------------------------------------------------

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  peer_ = gui::TheBackend().CreateTimerPeer(*this);
  peer_->Update();
}

TTimer::~TTimer() {
  enabled_ = false;
  peer_.reset();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  peer_->Update();
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  peer_->Update();
}

void TTimer::Tick() {
  if (enabled_ && OnTimer) OnTimer();
}
