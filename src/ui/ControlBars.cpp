// The toolbar and the status bar.
#include "ui/ControlBars.h"

#include <commctrl.h>

#include "ui/Controls.h"
#include "ui/Window.h"

namespace tolvi::ui {
namespace {

// The button size and command ids of a toolbar resource (type 241). Microsoft's compiler
// writes 16-bit fields after a version word; windres writes 32-bit fields and no version.
struct ToolBarLayout {
    int width = 0, height = 0;
    std::vector<UINT> ids;  // 0 for a separator
};

bool ReadToolBarResource(int resourceId, ToolBarLayout* layout) {
    HRSRC found = FindResourceA(AppInstance(), MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(241));
    HGLOBAL loaded = found ? LoadResource(AppInstance(), found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD size = found ? SizeofResource(AppInstance(), found) : 0;
    if (!data || size < 8)
        return false;
    const WORD* words = reinterpret_cast<const WORD*>(data);
    const DWORD* dwords = reinterpret_cast<const DWORD*>(data);
    if (words[0] == 1 && size == 8u + 2u * words[3]) {
        layout->width = words[1];
        layout->height = words[2];
        layout->ids.assign(words + 4, words + 4 + words[3]);
        return true;
    }
    if (size >= 12 && size == 12u + 4u * dwords[2]) {
        layout->width = static_cast<int>(dwords[0]);
        layout->height = static_cast<int>(dwords[1]);
        layout->ids.assign(dwords + 3, dwords + 3 + dwords[2]);
        return true;
    }
    return false;
}

std::string LoadText(UINT id) {
    char text[256] = "";
    LoadStringA(AppInstance(), id, text, sizeof text);
    return text;
}

}  // namespace

bool ToolBar::Create(HWND parent, DWORD style, UINT id) {
    InitCommonControlsOnce();
    hwnd_ =
        CreateWindowExA(0, TOOLBARCLASSNAMEA, "", style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AppInstance(), nullptr);
    if (!hwnd_)
        return false;
    SendMessageA(hwnd_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    return true;
}

bool ToolBar::LoadToolBar(int resourceId) {
    ToolBarLayout layout;
    if (!ReadToolBarResource(resourceId, &layout))
        return false;
    SendMessageA(hwnd_, TB_SETBITMAPSIZE, 0, MAKELPARAM(layout.width, layout.height));
    // The light grey of the pictures becomes the button face, as on every toolbar.
    COLORMAP map{RGB(192, 192, 192), GetSysColor(COLOR_BTNFACE)};
    HBITMAP pictures = CreateMappedBitmap(AppInstance(), resourceId, 0, &map, 1);
    if (!pictures)
        return false;
    std::vector<TBBUTTON> buttons;
    int picture = 0;
    for (UINT id : layout.ids) {
        TBBUTTON b{};
        if (id == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = picture++;
            b.idCommand = static_cast<int>(id);
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
            commands_.push_back(id);
        }
        buttons.push_back(b);
    }
    TBADDBITMAP add{nullptr, reinterpret_cast<UINT_PTR>(pictures)};
    SendMessageA(hwnd_, TB_ADDBITMAP, picture, reinterpret_cast<LPARAM>(&add));
    SendMessageA(hwnd_, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(hwnd_, TB_AUTOSIZE, 0, 0);
    return true;
}

bool StatusBar::Create(HWND parent, DWORD style, UINT id) {
    InitCommonControlsOnce();
    hwnd_ =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AppInstance(), nullptr);
    return hwnd_ != nullptr;
}

bool StatusBar::SetIndicators(const UINT* ids, int count) {
    panes_.assign(ids, ids + count);
    shown_.assign(count, std::string());
    Resize();
    SetMessage(LoadText(57345));  // "Ready"
    UpdateIndicators();
    return true;
}

void StatusBar::Resize() {
    if (!hwnd_ || panes_.empty())
        return;
    SendMessageA(hwnd_, WM_SIZE, 0, 0);
    RECT r;
    GetClientRect(hwnd_, &r);
    // The indicators keep a fixed width at the right; the message pane takes the rest.
    const int indicatorWidth = 40, grip = 16;
    const int n = static_cast<int>(panes_.size());
    std::vector<int> edges(n, -1);
    for (int i = 0; i + 1 < n; ++i)
        edges[i] = r.right - grip - indicatorWidth * (n - 1 - i);
    SendMessageA(hwnd_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (size_t i = 0; i < panes_.size(); ++i) {
        SendMessageA(hwnd_, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(shown_[i].c_str()));
    }
}

void StatusBar::SetMessage(const std::string& text) {
    if (panes_.empty())
        return;
    shown_[0] = text;
    SendMessageA(hwnd_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string StatusBar::Message() const {
    return shown_.empty() ? "" : shown_[0];
}

void StatusBar::UpdateIndicators() {
    for (size_t i = 1; i < panes_.size(); ++i) {
        int key = panes_[i] == 59137 ? VK_CAPITAL : panes_[i] == 59138 ? VK_NUMLOCK : VK_SCROLL;
        std::string text = (GetKeyState(key) & 1) ? LoadText(panes_[i]) : "";
        if (text == shown_[i])
            continue;
        shown_[i] = text;
        SendMessageA(hwnd_, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

bool ToggleBar(HWND bar) {
    bool show = !IsWindowVisible(bar);
    ShowWindow(bar, show ? SW_SHOW : SW_HIDE);
    return show;
}

}  // namespace tolvi::ui
