// The window system's numbers that the portable code writes down by hand, checked against
// <windows.h>: a wrong copy fails the build here.
#include <windows.h>

#include "gui/Forms.h"
#include "platform/Platform.h"

namespace gui {

// Window styles and extended styles.
static_assert(kWsPopup == WS_POPUP);
static_assert(kWsBorder == WS_BORDER);
static_assert(kWsDlgFrame == WS_DLGFRAME);
static_assert(kWsCaption == WS_CAPTION);
static_assert(kWsSysMenu == WS_SYSMENU);
static_assert(kWsThickFrame == WS_THICKFRAME);
static_assert(kWsMinimizeBox == WS_MINIMIZEBOX);
static_assert(kWsMaximizeBox == WS_MAXIMIZEBOX);
static_assert(kWsClipChildren == WS_CLIPCHILDREN);
static_assert(kWsExTopmost == WS_EX_TOPMOST);
static_assert(kWsExToolWindow == WS_EX_TOOLWINDOW);
static_assert(kWsExNoActivate == WS_EX_NOACTIVATE);

// Show commands, here and in the shell calls.
static_assert(kSwHide == SW_HIDE);
static_assert(kSwShowNoActivate == SW_SHOWNOACTIVATE);
static_assert(kSwShow == SW_SHOW);
static_assert(platform::kShow == SW_SHOW);
static_assert(platform::kShowNormal == SW_SHOWNORMAL);

// Z-order placement (HWND_TOPMOST is a pointer, checked by the backend's tests).
static_assert(kSwpNoSize == SWP_NOSIZE);
static_assert(kSwpNoMove == SWP_NOMOVE);
static_assert(kSwpNoActivate == SWP_NOACTIVATE);

// Messages.
static_assert(kWmSize == WM_SIZE);
static_assert(kSizeMinimized == SIZE_MINIMIZED);

// Message boxes.
static_assert(kMbOk == MB_OK);
static_assert(kMbIconError == MB_ICONERROR);
static_assert(kIdOk == IDOK);

// Colours: TColor is a COLORREF; a system colour carries its index in the low byte.
static_assert(ColorFromRGB(0x12, 0x34, 0x56) == RGB(0x12, 0x34, 0x56));
static_assert((clWindowText & 0xFF) == COLOR_WINDOWTEXT);
static_assert((clBtnFace & 0xFF) == COLOR_BTNFACE);
static_assert((clInfoBk & 0xFF) == COLOR_INFOBK);

// Character sets.
static_assert(kDefaultCharset == DEFAULT_CHARSET);
static_assert(kGB2312Charset == GB2312_CHARSET);

}  // namespace gui
