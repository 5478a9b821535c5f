#include "gui/StdCtrls.h"

#include <algorithm>

#include "base/SysUtils.h"
#include "gui/Backend.h"

namespace {
// Characters of a text of the program (code page 936, whatever the system's): a lead byte
// takes its trail byte with it.
std::vector<std::string> Chars(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    const size_t n = ProgramCharLength(s, i);
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += s[i];
    }
  }
  lines.push_back(cur);
  return lines;
}

int TextWidth(const TFont& f, const std::string& s) { return gui::TheBackend().MeasureText(f, s).cx; }
int LineHeight(const TFont& f) { return gui::TheBackend().MeasureText(f, " ").cy; }

// Breaks one line into pieces no wider than `width`: after the last blank that fits, else
// between characters (double-byte text has no blanks).
std::vector<std::string> Wrap(const TFont& f, const std::string& line, int width) {
  std::vector<std::string> out;
  auto chars = Chars(line);
  size_t start = 0;
  while (start < chars.size()) {
    std::string piece;
    size_t end = start, lastBlank = 0;
    bool haveBlank = false;
    while (end < chars.size() && TextWidth(f, piece + chars[end]) <= width) {
      piece += chars[end];
      if (chars[end] == " ") {
        lastBlank = end;
        haveBlank = true;
      }
      ++end;
    }
    if (end == start)
      end = start + 1;  // a character wider than the label
    else if (end < chars.size() && haveBlank && chars[end] != " ")
      end = lastBlank + 1;
    std::string line2;
    for (size_t i = start; i < end; ++i) line2 += chars[i];
    while (!line2.empty() && line2.back() == ' ') line2.pop_back();
    out.push_back(line2);
    start = end;
    while (start < chars.size() && chars[start] == " ") ++start;
  }
  if (out.empty()) out.push_back(std::string());
  return out;
}
}  // namespace

// ---- TLabel ---------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 13);
}

void TLabel::SetAutoSize(bool v) {
  autoSize_ = v;
  AdjustSize();
}

void TLabel::SetWordWrap(bool v) {
  wordWrap_ = v;
  AdjustSize();
  NotifyPeer();
}

void TLabel::SetCaption(const std::string& text) {
  TControl::SetCaption(text);
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  const TFont& f = Font();
  std::string text = Caption().empty() ? std::string(" ") : Caption();
  int w = 0, lines = 0;
  for (const auto& line : SplitLines(text)) {
    if (wordWrap_) {
      lines += static_cast<int>(Wrap(f, line, Width()).size());
    } else {
      w = std::max(w, TextWidth(f, line));
      ++lines;
    }
  }
  int h = lines * LineHeight(f);
  SetBounds(Left(), Top(), wordWrap_ ? Width() : w, h);
}

std::vector<std::string> TLabel::DrawnLines() const {
  const TFont& f = Font();
  std::vector<std::string> all;
  for (const auto& line : SplitLines(Caption())) {
    if (wordWrap_) {
      for (auto& piece : Wrap(f, line, Width())) all.push_back(piece);
    } else {
      all.push_back(line);
    }
  }
  int lh = std::max(1, LineHeight(f));
  std::vector<std::string> drawn;
  for (size_t i = 0; i < all.size() && static_cast<int>(i) * lh < Height(); ++i) {
    // Cut at the right edge: a character that starts inside the label is (partly) drawn.
    std::string kept;
    int x = 0;
    for (const auto& ch : Chars(all[i])) {
      if (x >= Width()) break;
      kept += ch;
      x = TextWidth(f, kept);
    }
    drawn.push_back(kept);
  }
  return drawn;
}

// ---- TCheckBox ------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  NotifyPeer();
}

void TCheckBox::Click() {
  checked_ = !checked_;
  NotifyPeer();
  TControl::Click();
}

// ---- TPanel, TImage, TSpeedButton -----------------------------------------------------

TPanel::TPanel(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 185, 41); }

void TPanel::SetBevelOuter(TBevelCut b) {
  bevelOuter_ = b;
  NotifyPeer();
}

TImage::TImage(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::SetPicture(const TBitmap& b) {
  picture_ = b;
  if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
  Invalidate();
  NotifyPeer();
}

void TImage::SetTransparent(bool v) {
  transparent_ = v;
  NotifyPeer();
}

void TImage::SetAutoSize(bool v) {
  autoSize_ = v;
  if (v && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
}

void TImage::SetPictureResource(const std::string& name) {
  pictureResource_.clear();  // a picture that failed is not loaded again at another scale
  SetPicture(gui::LoadScaledPicture(name, PixelsPerInch()));
  pictureResource_ = name;
}

void TImage::ScaleChanged() {
  if (pictureResource_.empty()) return;
  try {
    SetPicture(gui::LoadScaledPicture(pictureResource_, PixelsPerInch()));
  } catch (const Exception&) {
    // It loaded at the scale before; at this one it keeps that picture rather than none.
  }
}

TSpeedButton::TSpeedButton(TComponent* owner) : TControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 23, 22);
}

void TSpeedButton::SetFlat(bool v) {
  flat_ = v;
  NotifyPeer();
}

void TSpeedButton::SetGlyph(const TBitmap& b) {
  glyph_ = b;
  NotifyPeer();
}

void TSpeedButton::SetGlyphResource(const std::string& name) {
  glyphResource_ = name;
  ScaleChanged();
}

void TSpeedButton::ScaleChanged() {
  if (glyphResource_.empty()) return;
  try {
    SetGlyph(gui::LoadScaledPicture(glyphResource_, PixelsPerInch()));
  } catch (const Exception&) {
    // A missing picture leaves the button bare; it still works.
  }
}

// ---- TProgressBar ---------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 150, 16); }

void TProgressBar::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  SetPosition(position_);
  NotifyPeer();
}

void TProgressBar::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  SetPosition(position_);
  NotifyPeer();
}

void TProgressBar::SetPosition(int v) {
  v = std::clamp(v, min_, max_);
  if (v == position_) return;
  position_ = v;
  NotifyPeer();
}

void TProgressBar::StepIt() { SetPosition(position_ + step_); }

// ---- TPopupMenu -----------------------------------------------------------------------

TMenuItem* TPopupMenu::Add(const std::string& caption, TNotifyEvent onClick) {
  auto* item = new TMenuItem(this);
  item->Caption = caption;
  item->OnClick = std::move(onClick);
  items_.push_back(item);
  return item;
}
