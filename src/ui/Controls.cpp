// The common-control wrappers.
#include "ui/Controls.h"

#include <vector>

#include "platform/win32/WideText.h"
#include "ui/Window.h"

namespace tolvi::ui {

void InitCommonControlsOnce() {
    static bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc,
                                 ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

int ListView::InsertColumn(int index, const char* title, int width) {
    std::wstring text = platform::Widen(title);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.fmt = LVCFMT_LEFT;
    c.cx = width;
    c.pszText = &text[0];
    c.iSubItem = index;
    return static_cast<int>(
        SendMessageW(control, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&c)));
}

int ListView::InsertItem(int index, const std::string& text) {
    std::wstring wide = platform::Widen(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = &wide[0];
    return static_cast<int>(
        SendMessageW(control, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int index, int column, const std::string& text) {
    std::wstring wide = platform::Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = &wide[0];
    return SendMessageW(control, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string ListView::GetItemText(int index, int column) const {
    // The list says only how much it copied: a text that filled the room may have been cut.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        auto copied = static_cast<size_t>(
            SendMessageW(control, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < buffer.size())
            return platform::Narrow(buffer.data(), static_cast<int>(copied));
        buffer.resize(buffer.size() * 2);
    }
}

bool ListView::SetItemImage(int index, int image) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    return SendMessageW(control, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

int ListView::GetItemImage(int index) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    if (!SendMessageW(control, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

int ListView::GetItemCount() const {
    return static_cast<int>(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
}

int ListView::GetNextSelected(int after) const {
    return static_cast<int>(SendMessageW(control, LVM_GETNEXTITEM, after, LVNI_SELECTED));
}

bool ListView::SetSelected(int index, bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    return SendMessageW(control, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item)) != 0;
}

bool ListView::DeleteItem(int index) {
    return SendMessageW(control, LVM_DELETEITEM, index, 0) != 0;
}

bool ListView::SetColumnWidth(int column, int width) {
    return SendMessageW(control, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
}

int ListView::GetColumnWidth(int column) const {
    return static_cast<int>(SendMessageW(control, LVM_GETCOLUMNWIDTH, column, 0));
}

void ListView::SetExtendedStyle(DWORD style, DWORD mask) {
    SendMessageW(control, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

HIMAGELIST ListView::SetSmallImageList(HIMAGELIST images) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessageW(control, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
}

bool ImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    Destroy();
    handle = ImageList_Create(cx, cy, flags, initial, grow);
    return handle != nullptr;
}

int ImageList::AddIcon(HICON icon) {
    return ImageList_ReplaceIcon(handle, -1, icon);
}

void ImageList::SetBkColor(COLORREF color) {
    ImageList_SetBkColor(handle, color);
}

void ImageList::Destroy() {
    if (handle)
        ImageList_Destroy(handle);
    handle = nullptr;
}

bool Menu::Load(int resourceId) {
    Destroy();
    handle = LoadMenuW(AppInstance(), MAKEINTRESOURCEW(resourceId));
    return handle != nullptr;
}

HMENU Menu::Detach() {
    HMENU h = handle;
    handle = nullptr;
    return h;
}

void Menu::Destroy() {
    if (handle)
        DestroyMenu(handle);
    handle = nullptr;
}

}  // namespace tolvi::ui
