#pragma once
// The look the verification and certification windows share: their background and the
// 宋体 fonts of their texts.
#include "gui/Make.h"

namespace verifystyle {

inline const TColor kFormColor = ColorFromRGB(245, 250, 254);
inline const TColor kGreen = ColorFromRGB(0, 128, 0);

/// 宋体 at a character height in pixels, GB2312 character set.
inline TFont SongTi(int pixels, TColor color = clBlack, unsigned style = 0) {
  return gui::MakeFont("宋体", pixels, color, style, kGB2312Charset);
}

}  // namespace verifystyle
