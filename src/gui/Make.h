#pragma once
// The control factories every window is built with: one call a control, its fields named, so
// that a window's constructor reads like its design table (where, how large, which font,
// which text). Places and fonts are the design's, at 96 pixels per inch; the toolkit scales
// them to the window's resolution. A control goes on its owner unless `parent` names another
// container.
#include <functional>
#include <string>

#include "gui/Graphics.h"
#include "gui/StdCtrls.h"

namespace gui {

/// Where a control goes in its parent's client area, as the window's design gives it.
struct TPlace {
  int left = 0, top = 0, width = 0, height = 0;
};

/// A font: face, character height in pixels, colour, style (fsBold, fsUnderline), character set.
TFont MakeFont(const std::string& name, int pixels, TColor color = clWindowText, unsigned style = 0,
               int charset = kDefaultCharset);

struct TLabelFields {
  TControl* parent = nullptr;
  TPlace place{};  // an auto-sized label takes only left and top
  TFont font{};
  std::string caption{};
  bool wrap = false;  // fixed labels only
};
/// A label at (left, top) that takes the size of its text.
TLabel* NewLabel(TControl* owner, const TLabelFields& fields);
/// A label of fixed size: its text is clipped at its edges, and wrapped only with `wrap`.
TLabel* NewFixedLabel(TControl* owner, const TLabelFields& fields);

struct TButtonFields {
  TControl* parent = nullptr;
  TPlace place{};
  std::string picture{};  // the bitmap resource of its face
  std::string caption{};  // what the face says, for screen readers and the window lister
  std::string hint{};     // a tooltip, when given
  bool visible = true;
  std::function<void()> onClick{};
};
/// A flat button showing the bitmap resource `picture` drawn for the window's scale. A missing
/// or broken picture leaves the button bare; it still works.
TSpeedButton* NewPictureButton(TControl* owner, const TButtonFields& fields);

struct TCheckBoxFields {
  TControl* parent = nullptr;
  TPlace place{};
  TFont font{};
  std::string caption{};
  bool checked = false;
  int tabOrder = -1;
  std::function<void()> onClick{};
};
/// A check box with its caption and its first state.
TCheckBox* NewCheckBox(TControl* owner, const TCheckBoxFields& fields);

struct TPanelFields {
  TControl* parent = nullptr;
  TPlace place{};
  TColor color = clBtnFace;
};
/// A panel without bevel, aligned to its parent's bottom edge from its designed place.
TPanel* NewBottomPanel(TControl* owner, const TPanelFields& fields);

struct TProgressBarFields {
  TControl* parent = nullptr;
  TPlace place{};
  int max = 100;
  int step = 10;
  int tabOrder = -1;
};
/// A progress bar along its parent's bottom edge, counting from 0 to `max`.
TProgressBar* NewBottomProgressBar(TControl* owner, const TProgressBarFields& fields);

struct TPictureFields {
  TControl* parent = nullptr;
  TPlace place{};         // left and top; the picture gives the size
  std::string picture{};  // a bitmap resource, drawn for the window's scale; may be set later
  bool transparent = false;
  std::function<void()> onClick{};
};
/// An image that takes the size of its picture.
TImage* NewPicture(TControl* owner, const TPictureFields& fields);

struct TTimerFields {
  unsigned interval = 1000;  // milliseconds
  bool enabled = false;
  std::function<void()> onTimer{};
};
/// A timer owned by `owner`, stopped unless `enabled`.
TTimer* NewTimer(TComponent* owner, const TTimerFields& fields);

}  // namespace gui
