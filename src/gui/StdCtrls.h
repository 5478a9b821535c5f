#pragma once
// The controls the windows are built from.
#include <string>
#include <vector>

#include "gui/Controls.h"

/// A text drawn on its parent. With AutoSize (the default) it takes the size of its text;
/// with a fixed size the text is clipped at the label's edges, wrapped only with WordWrap.
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::Label; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  void SetCaption(const std::string& text) override;
  /// The lines as they are drawn: wrapped when WordWrap, each cut at the right edge, and
  /// only the lines that fit the height (a partly visible last line counts).
  std::vector<std::string> DrawnLines() const;

 protected:
  void FontChanged() override { AdjustSize(); }
  void ParentChanged() override { AdjustSize(); }

 private:
  void AdjustSize();
  bool autoSize_ = true, wordWrap_ = false;
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::CheckBox; }
  bool Checked() const { return checked_; }
  /// Sets the tick without running OnClick.
  void SetChecked(bool v);
  /// A click of the user: toggles the tick, then runs OnClick.
  void Click() override;
  bool TabStop() const override { return true; }

 private:
  bool checked_ = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised };

/// A plain container with a colour and an optional bevel.
class TPanel : public TControl {
 public:
  explicit TPanel(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::Panel; }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b);

 private:
  TBevelCut bevelOuter_ = bvRaised;
};

/// A picture drawn on its parent at the control's top-left corner, clipped to its size.
/// When Transparent, the picture's bottom-left pixel colour is see-through.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::Image; }
  const TBitmap& Picture() const { return picture_; }
  void SetPicture(const TBitmap& b);
  TBitmap& EditPicture() { return picture_; }  // call Invalidate() after changing it
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  /// Shows the bitmap resource `name` as drawn for the control's resolution, now and after
  /// each change of it. Raises EResNotFound when it is missing (the picture is then unchanged).
  void SetPictureResource(const std::string& name);

 protected:
  void ScaleChanged() override;

 private:
  std::string pictureResource_;
  TBitmap picture_;
  bool transparent_ = false, autoSize_ = false;
};

/// A button whose face is its glyph bitmap, centred (transparent by the glyph's bottom-left
/// pixel) on its parent's colour; flat buttons have no frame. Its caption is not drawn: it is
/// the button's name for screen readers and window listers.
class TSpeedButton : public TControl {
 public:
  explicit TSpeedButton(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::SpeedButton; }
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  const TBitmap& Glyph() const { return glyph_; }
  void SetGlyph(const TBitmap& b);
  /// The face is the bitmap resource `name` as drawn for the control's resolution, now and
  /// after each change of it; a missing picture leaves the button bare.
  void SetGlyphResource(const std::string& name);

 protected:
  void ScaleChanged() override;

 private:
  std::string glyphResource_;
  TBitmap glyph_;
  bool flat_ = false;
};

class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::ProgressBar; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int Step() const { return step_; }
  void SetMin(int v);
  void SetMax(int v);
  /// Kept within Min..Max.
  void SetPosition(int v);
  void SetStep(int v) { step_ = v; }
  /// Advances the position by Step (not past Max).
  void StepIt();

 private:
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
};

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  std::string Caption;
  TNotifyEvent OnClick;
  /// What choosing the item does (errors go to the application's error box when the
  /// backend calls it from a menu).
  void Click() {
    if (OnClick) OnClick();
  }
};

/// A menu shown at the pointer on a right click in the form that names it.
class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner) : TComponent(owner) {}
  /// Adds an item owned by the menu.
  TMenuItem* Add(const std::string& caption, TNotifyEvent onClick);
  const std::vector<TMenuItem*>& Items() const { return items_; }

 private:
  std::vector<TMenuItem*> items_;
};
