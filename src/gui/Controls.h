#pragma once
// Components with owners, and the visual control base: position, size, colour, font, text,
// alignment, cursor and mouse events. The backend linked into the program realises them.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/Graphics.h"

namespace gui {
class ControlPeer;
class TimerPeer;
}  // namespace gui

/// A component belongs to its owner: the owner deletes it when the owner is deleted.
/// Create owned components with `new TLabel(owner)`; a component without an owner is held
/// by a std::unique_ptr of its creator.
class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(static_cast<size_t>(i)); }
  /// Deletes every owned component, last created first.
  void DestroyComponents();
  /// Takes the component out of this owner; the caller then owns it.
  void RemoveComponent(TComponent* c);

 private:
  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> components_;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TCursor : int { crDefault = 0, crArrow = -2, crHandPoint = -21 };
enum TMouseButton { mbLeft, mbRight, mbMiddle, mbExtra1, mbExtra2 };
using TShiftState = unsigned;
using TNotifyEvent = std::function<void()>;
using TMouseEvent = std::function<void(TMouseButton button, TShiftState shift, int x, int y)>;

/// What the backend realises for a control.
enum class TControlKind { Form, Panel, Label, Image, SpeedButton, CheckBox, ProgressBar };

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  virtual TControlKind Kind() const = 0;
  /// Windowed controls have a window of their own; the others (labels, images) are drawn by
  /// their parent. A speed button has one, so that its caption names it to screen readers
  /// and window listers though only its picture shows.
  bool IsWindowed() const;

  TControl* Parent() const { return parent_; }
  /// Places the control on a container (a form or a panel); nullptr takes it off.
  void SetParent(TControl* parent);
  const std::vector<TControl*>& Controls() const { return children_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  /// Places the control at its design bounds (96 pixels per inch), scaled to its form's
  /// resolution; kept, and applied again when the resolution changes.
  void SetDesignBounds(int left, int top, int width, int height);
  /// The design's left and top only: the content gives the size (auto-sized labels, pictures).
  void SetDesignPosition(int left, int top);
  /// The resolution the control is laid out for: its form's (96 until it is on one).
  int PixelsPerInch() const;
  /// A length of the design (96 pixels per inch) at the control's resolution.
  int Scaled(int designPixels) const;
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  /// The inner size that children are laid out in; a control without a frame: its size.
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  /// When true (labels, check boxes) the control takes its parent's colour.
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  /// The font as drawn: the design font with its height scaled to the control's resolution.
  const TFont& Font() const { return font_; }
  /// The design font (its height at 96 pixels per inch).
  const TFont& DesignFont() const { return designFont_; }
  void SetFont(const TFont& f);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);

  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& text);
  const std::string& Text() const { return caption_; }
  void SetText(const std::string& text) { SetCaption(text); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c) { cursor_ = c; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int v) { tabOrder_ = v; }
  /// Whether the control takes the keyboard focus in its form's tab order (check boxes).
  virtual bool TabStop() const { return false; }

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  /// What a click of the user does: runs OnClick (check boxes toggle first).
  virtual void Click();
  void MouseDown(TMouseButton b, TShiftState shift, int x, int y);

  /// Asks for a repaint.
  void Invalidate();
  /// Client point of this control to screen and back (through its parents' positions).
  TPoint ClientToScreen(TPoint p) const;

  // ---- backend side ---------------------------------------------------------------
  gui::ControlPeer* Peer() const { return peer_.get(); }
  bool HandleAllocated() const { return peer_ != nullptr; }
  /// Realises this control (and its parents first, its children after).
  void HandleNeeded();
  /// The native window of a windowed control (0 in the headless backend, or before realised).
  std::intptr_t Handle();
  /// Lays out the aligned children again (after a size change of this container).
  void Realign();

 protected:
  /// Lays the control and its children out again from their design at the resolution of
  /// their form: bounds, fonts, pictures.
  void ApplyScale();
  /// What a control kind redoes for a new resolution beyond bounds and font (pictures).
  virtual void ScaleChanged() {}
  /// The form's window was created (a form learns its resolution here).
  virtual void Realised() {}
  /// A form's resolution; 0 for the other controls, which take their form's.
  virtual int OwnPixelsPerInch() const { return 0; }
  virtual void ParentChanged() {}
  virtual void FontChanged() {}
  virtual void TextChanged() {}
  void NotifyPeer();  // appearance changed

 private:
  friend class TForm;
  void DestroyHandle();
  void RealignWith(TControl* moved);
  TControl* parent_ = nullptr;
  std::vector<TControl*> children_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true, enabled_ = true;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TFont font_, designFont_;
  bool parentFont_ = true;
  enum class Design { None, Position, Bounds } design_ = Design::None;
  TRect designRect_;
  std::string caption_;
  TAlign align_ = alNone;
  TCursor cursor_ = crDefault;
  std::string hint_;
  bool showHint_ = false;
  int tabOrder_ = -1;
  std::unique_ptr<gui::ControlPeer> peer_;
  bool aligning_ = false;
};

/// Calls OnTimer every Interval milliseconds while Enabled (and Interval > 0).
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  TNotifyEvent OnTimer;
  /// Whether the timer is running: enabled and with an interval.
  bool Active() const { return enabled_ && interval_ > 0; }
  /// One tick (the backends call it; errors go to the application's error box).
  void Tick();

 private:
  void Update();
  unsigned interval_ = 1000;
  bool enabled_ = true;
  std::unique_ptr<gui::TimerPeer> peer_;
};
