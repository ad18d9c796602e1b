// Dialogs widened for their texts. Each text is measured in its control's own font, on the
// lines its control has; the dialog then grows by the largest shortfall, every control with
// it, so that columns and margins stay as the template drew them.
#include "ui/DialogFit.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace tolvi::ui {
namespace {

// A dialog grows to twice its width at most: a font that needs more is not one to lay out for.
constexpr double kWidestWidening = 2.0;
constexpr double kWrapStep = 0.05;  // how a wrapped label's width is searched for

enum class TextKind { None, Label, Box, Button };

bool IsClass(HWND control, const wchar_t* name) {
    wchar_t found[32] = L"";
    GetClassNameW(control, found, 32);
    return lstrcmpiW(found, name) == 0;
}

TextKind KindOf(HWND control) {
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (IsClass(control, L"Static")) {
        switch (style & SS_TYPEMASK) {
            case SS_LEFT:
            case SS_CENTER:
            case SS_RIGHT:
            case SS_SIMPLE:
            case SS_LEFTNOWORDWRAP:
                return TextKind::Label;
            default:
                return TextKind::None;  // pictures, frames
        }
    }
    if (IsClass(control, L"Button")) {
        switch (style & BS_TYPEMASK) {
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_3STATE:
            case BS_AUTO3STATE:
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON:
                return TextKind::Box;
            case BS_PUSHBUTTON:
            case BS_DEFPUSHBUTTON:
                return TextKind::Button;
            default:
                return TextKind::None;
        }
    }
    return TextKind::None;
}

// The pixels a control spends beside its text: a check box's box and the gap after it, a
// button's edges.
int Decoration(TextKind kind, const TEXTMETRICW& font) {
    if (kind == TextKind::Box)
        return GetSystemMetrics(SM_CXMENUCHECK) + font.tmAveCharWidth;
    if (kind == TextKind::Button)
        return 4 * GetSystemMetrics(SM_CXEDGE) + font.tmAveCharWidth;
    return 0;
}

// How many times its width control must be for its text to show whole; 1 when it fits.
double WideningFor(HWND control, TextKind kind) {
    const int length = GetWindowTextLengthW(control);
    RECT client;
    if (length <= 0 || !GetClientRect(control, &client) || client.right <= 0)
        return 1;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], length + 1)));
    const LONG style = GetWindowLongW(control, GWL_STYLE);

    HDC dc = GetDC(control);
    if (!dc)
        return 1;
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    UINT format = DT_CALCRECT | DT_EXPANDTABS;
    if (kind == TextKind::Label && (style & SS_NOPREFIX))
        format |= DT_NOPREFIX;
    const int decoration = Decoration(kind, metrics);
    const bool wraps =
        kind == TextKind::Label && metrics.tmHeight > 0 && client.bottom >= 2 * metrics.tmHeight &&
        (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP && (style & SS_TYPEMASK) != SS_SIMPLE;
    double widening = 1;
    if (!wraps) {
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), -1, &r, format | DT_SINGLELINE);
        widening = static_cast<double>(r.right + decoration) / client.right;
    } else {
        // A label of several lines fits when its words, wrapped at its width, take no more
        // lines than it has.
        for (; widening < kWidestWidening; widening += kWrapStep) {
            RECT r{0, 0, static_cast<LONG>(client.right * widening), 0};
            DrawTextW(dc, text.c_str(), -1, &r, format | DT_WORDBREAK);
            if (r.bottom <= client.bottom)
                break;
        }
    }
    if (old)
        SelectObject(dc, old);
    ReleaseDC(control, dc);
    return widening;
}

bool KeepsItsSize(HWND control) {
    // Icons and pictures are drawn at their own size: they move with the layout, no more.
    const LONG type = GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
    return IsClass(control, L"Static") && (type == SS_ICON || type == SS_BITMAP);
}

}  // namespace

void WidenForTexts(HWND dialog) {
    std::vector<HWND> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        controls.push_back(c);
    double widening = 1;
    for (HWND c : controls) {
        TextKind kind = KindOf(c);
        if (kind != TextKind::None)
            widening = std::max(widening, WideningFor(c, kind));
    }
    if (widening <= 1)
        return;
    widening = std::min(widening, kWidestWidening);
    auto wider = [widening](LONG x) { return static_cast<int>(std::ceil(x * widening)); };
    for (HWND c : controls) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const int left = wider(r.left);
        const int width = KeepsItsSize(c) ? r.right - r.left : wider(r.right) - left;
        SetWindowPos(c, nullptr, left, r.top, width, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT client, frame;
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0,
                 frame.right - frame.left + wider(client.right) - client.right,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(dialog, DM_REPOSITION, 0, 0);  // a dialog grown past the screen's edge comes back
}

}  // namespace tolvi::ui
