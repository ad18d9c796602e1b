// The dots per inch of a window, and the sizes the program gives in pixels at 96 DPI made
// proportionally larger for it.
#pragma once
#include <windows.h>

namespace tolvi::ui {

constexpr UINT kBaseDpi = 96;

// The DPI of the monitor that hwnd is on. Where Windows cannot tell a window's own (before
// Windows 10 1607) the system's, which the program then runs at; 96 when neither is known.
UINT WindowDpi(HWND hwnd);

// A size given for 96 DPI, at dpi.
inline int Scale(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

// The new DPI that WM_DPICHANGED carries (the same across and down).
inline UINT DpiOfDpiChanged(WPARAM w) {
    return HIWORD(w);
}

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

}  // namespace tolvi::ui
