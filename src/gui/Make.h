#pragma once
// The control factories every window is built with: one call a control, so that a window's
// constructor reads like its design table (where, how large, which font, which text).
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

/// A label at (left, top) that takes the size of its text.
TLabel* NewLabel(TComponent* owner, TControl* parent, int left, int top, const TFont& font,
                 const std::string& text = "");
/// A label of fixed size: its text is clipped at its edges, and wrapped only with `wrap`.
TLabel* NewFixedLabel(TComponent* owner, TControl* parent, TPlace place, const TFont& font,
                      const std::string& text = "", bool wrap = false);
/// A flat button showing the bitmap resource `picture`. A missing or broken picture leaves the
/// button bare; it still works.
TSpeedButton* NewPictureButton(TComponent* owner, TControl* parent, TPlace place, const std::string& picture,
                               std::function<void()> onClick);
/// A check box with its caption and its first state.
TCheckBox* NewCheckBox(TComponent* owner, TControl* parent, TPlace place, const TFont& font, const std::string& caption,
                       bool checked, std::function<void()> onClick);
/// A panel without bevel, aligned to its parent's bottom edge from its designed place.
TPanel* NewBottomPanel(TComponent* owner, TControl* parent, TPlace place, TColor color);
/// A progress bar along its parent's bottom edge, counting from 0 to `max`.
TProgressBar* NewBottomProgressBar(TComponent* owner, TControl* parent, TPlace place, int max);

}  // namespace gui
