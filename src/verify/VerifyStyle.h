#pragma once
// The look the verification and certification windows share: their background and the
// 宋体 fonts of their texts.
#include "gui/Graphics.h"

namespace verifystyle {

inline const TColor kFormColor = ColorFromRGB(245, 250, 254);
inline const TColor kGreen = ColorFromRGB(0, 128, 0);

/// 宋体 at a character height in pixels, GB2312 character set.
inline TFont SongTi(int pixels, TColor color = clBlack, unsigned style = 0) {
  TFont f;
  f.Name = "宋体";
  f.Height = -pixels;
  f.Style = style;
  f.Color = color;
  f.Charset = kGB2312Charset;
  return f;
}

}  // namespace verifystyle
