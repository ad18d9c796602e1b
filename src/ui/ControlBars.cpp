// The toolbar and the status bar.
#include "ui/ControlBars.h"

#include <commctrl.h>

#include "platform/win32/WideText.h"
#include "resource.h"
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
    HRSRC found = FindResourceW(AppInstance(), MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(241));
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

}  // namespace

ToolBar::~ToolBar() {
    if (hwnd && IsWindow(hwnd))
        SendMessageW(hwnd, TB_SETIMAGELIST, 0, 0);
    if (pictures)
        ImageList_Destroy(pictures);
}

bool ToolBar::Create(HWND parent, DWORD style, UINT id) {
    InitCommonControlsOnce();
    hwnd =
        CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AppInstance(), nullptr);
    if (!hwnd)
        return false;
    SendMessageW(hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    return true;
}

bool ToolBar::LoadToolBar(int resourceId) {
    ToolBarLayout layout;
    if (!ReadToolBarResource(resourceId, &layout))
        return false;
    strips.insert(strips.begin(), {layout.width, resourceId});
    if (!ShowPictures(layout.width, resourceId))
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
            commands.push_back(id);
        }
        buttons.push_back(b);
    }
    SendMessageW(hwnd, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(hwnd, TB_AUTOSIZE, 0, 0);
    return true;
}

void ToolBar::AddPictureSize(int size, int bitmapId) {
    strips.emplace_back(size, bitmapId);
}

bool ToolBar::ScaleTo(UINT dpi) {
    if (strips.empty())
        return false;
    const int wanted = MulDiv(strips.front().first, static_cast<int>(dpi), 96);
    const std::pair<int, int>* chosen = nullptr;
    const std::pair<int, int>* smallest = &strips.front();
    for (const auto& strip : strips) {
        if (strip.first <= wanted && (!chosen || strip.first > chosen->first))
            chosen = &strip;
        if (strip.first < smallest->first)
            smallest = &strip;
    }
    if (!chosen)
        chosen = smallest;
    if (chosen->first == pictureSize)
        return true;
    if (!ShowPictures(chosen->first, chosen->second))
        return false;
    // The buttons take the new pictures' size and the bar's padding; left alone they would
    // keep the largest size they ever had.
    DWORD padding = static_cast<DWORD>(SendMessageW(hwnd, TB_GETPADDING, 0, 0));
    SendMessageW(hwnd, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(pictureSize + LOWORD(padding), pictureSize + HIWORD(padding)));
    SendMessageW(hwnd, TB_AUTOSIZE, 0, 0);
    return true;
}

bool ToolBar::ShowPictures(int size, int bitmapId) {
    auto strip = static_cast<HBITMAP>(
        LoadImageW(AppInstance(), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (!strip)
        return false;
    BITMAP info{};
    GetObjectW(strip, sizeof info, &info);
    HIMAGELIST images =
        ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, info.bmWidth / size, 0);
    // The light grey around the pictures is left out, so the bar's own face shows through,
    // plain or themed.
    bool added = images && ImageList_AddMasked(images, strip, RGB(192, 192, 192)) >= 0;
    DeleteObject(strip);
    if (!added) {
        if (images)
            ImageList_Destroy(images);
        return false;
    }
    SendMessageW(hwnd, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    if (pictures)
        ImageList_Destroy(pictures);  // the bar does not destroy an image list it is given
    pictures = images;
    pictureSize = size;
    return true;
}

bool StatusBar::Create(HWND parent, DWORD style, UINT id) {
    InitCommonControlsOnce();
    hwnd =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AppInstance(), nullptr);
    return hwnd != nullptr;
}

bool StatusBar::SetIndicators(const UINT* ids, int count) {
    panes.assign(ids, ids + count);
    shown.assign(count, std::string());
    Resize();
    SetMessage(LoadText(IDS_IDLE_MESSAGE));  // "Ready"
    UpdateIndicators();
    return true;
}

void StatusBar::Resize() {
    if (!hwnd || panes.empty())
        return;
    SendMessageW(hwnd, WM_SIZE, 0, 0);
    RECT r;
    GetClientRect(hwnd, &r);
    // The indicators keep a fixed width at the right; the message pane takes the rest.
    const int indicatorWidth = MulDiv(40, static_cast<int>(currentDpi), 96);
    const int grip = MulDiv(16, static_cast<int>(currentDpi), 96);
    const int n = static_cast<int>(panes.size());
    std::vector<int> edges(n, -1);
    for (int i = 0; i + 1 < n; ++i)
        edges[i] = r.right - grip - indicatorWidth * (n - 1 - i);
    SendMessageW(hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (size_t i = 0; i < panes.size(); ++i)
        SetPaneText(i);
}

void StatusBar::SetMessage(const std::string& text) {
    // Told again every second while idle: the pane is drawn anew only when it changes.
    if (panes.empty() || shown[0] == text)
        return;
    shown[0] = text;
    SetPaneText(0);
}

void StatusBar::SetPaneText(size_t pane) {
    SendMessageW(hwnd, SB_SETTEXTW, pane,
                 reinterpret_cast<LPARAM>(platform::Widen(shown[pane]).c_str()));
}

std::string StatusBar::Message() const {
    return shown.empty() ? "" : shown[0];
}

void StatusBar::UpdateIndicators() {
    for (size_t i = 1; i < panes.size(); ++i) {
        int key = panes[i] == ID_INDICATOR_CAPS  ? VK_CAPITAL
                  : panes[i] == ID_INDICATOR_NUM ? VK_NUMLOCK
                                                  : VK_SCROLL;
        std::string text = (GetKeyState(key) & 1) ? LoadText(panes[i]) : "";
        if (text == shown[i])
            continue;
        shown[i] = text;
        SetPaneText(i);
    }
}

bool ToggleBar(HWND bar) {
    bool show = !IsWindowVisible(bar);
    ShowWindow(bar, show ? SW_SHOW : SW_HIDE);
    return show;
}

}  // namespace tolvi::ui
