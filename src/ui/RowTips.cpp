// Row tooltips. The tooltip watches the list's mouse moves itself; the list is watched here
// too, to give the tip the text of the row the pointer has just come to.
#include "ui/RowTips.h"

#include <commctrl.h>
#include <windowsx.h>

#include "platform/win32/WideText.h"
#include "ui/Dpi.h"
#include "ui/Window.h"

namespace tolvi::ui {
namespace {

constexpr UINT_PTR kWatchId = 1;
constexpr int kWidestTip = 480;  // pixels at 96 DPI; a longer text goes on to more lines

TTTOOLINFOW ToolOf(HWND list) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(list);
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    return tool;
}

}  // namespace

RowTips::~RowTips() {
    Detach();
}

bool RowTips::Attach(HWND listWindow, std::function<std::string(int)> rowText) {
    Detach();
    tip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, listWindow, nullptr, AppInstance(), nullptr);
    if (!tip)
        return false;
    TTTOOLINFOW tool = ToolOf(listWindow);
    tool.lpszText = &shown[0];  // nothing to say until the pointer is over a row
    if (!SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
        DestroyWindow(tip);
        tip = nullptr;
        return false;
    }
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, Scale(kWidestTip, WindowDpi(listWindow)));
    list = listWindow;
    textOf = std::move(rowText);
    pointedRow = -1;
    SetWindowSubclass(list, &RowTips::ListProc, kWatchId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void RowTips::Detach() {
    if (list)
        RemoveWindowSubclass(list, &RowTips::ListProc, kWatchId);
    if (tip && IsWindow(tip))
        DestroyWindow(tip);
    list = nullptr;
    tip = nullptr;
    shown.clear();
}

void RowTips::Refresh() {
    if (list && pointedRow >= 0)
        Show(textOf(pointedRow));
}

void RowTips::PointerAt(int row) {
    if (row == pointedRow)
        return;
    pointedRow = row;
    Show(row >= 0 ? textOf(row) : std::string());
}

void RowTips::Show(const std::string& text) {
    std::wstring wide = platform::Widen(text);
    if (wide == shown)
        return;
    shown = wide;
    // A tip that shows another row's text goes; the tooltip shows the new one after its usual
    // pause, and none at all for an empty text.
    SendMessageW(tip, TTM_POP, 0, 0);
    TTTOOLINFOW tool = ToolOf(list);
    tool.lpszText = &shown[0];
    SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK RowTips::ListProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l, UINT_PTR,
                                   DWORD_PTR self) {
    auto* tips = reinterpret_cast<RowTips*>(self);
    if (msg == WM_MOUSEMOVE) {
        LVHITTESTINFO hit{};
        hit.pt = POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        int row = static_cast<int>(
            SendMessageW(hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        tips->PointerAt((hit.flags & LVHT_ONITEM) ? row : -1);
    } else if (msg == WM_NCDESTROY) {
        tips->Detach();  // the tooltip's owner goes: so does it
    }
    return DefSubclassProc(hwnd, msg, w, l);
}

}  // namespace tolvi::ui
