// The common-control wrappers.
#include "ui/Controls.h"

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
    LVCOLUMNA c{};
    c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.fmt = LVCFMT_LEFT;
    c.cx = width;
    c.pszText = const_cast<char*>(title);
    c.iSubItem = index;
    return static_cast<int>(
        SendMessageA(hwnd_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&c)));
}

int ListView::InsertItem(int index, const std::string& text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<int>(
        SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int index, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    return SendMessageA(hwnd_, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string ListView::GetItemText(int index, int column) const {
    char buffer[512] = "";
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(hwnd_, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

bool ListView::SetItemImage(int index, int image) {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    return SendMessageA(hwnd_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

int ListView::GetItemImage(int index) const {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    if (!SendMessageA(hwnd_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

int ListView::GetItemCount() const {
    return static_cast<int>(SendMessageA(hwnd_, LVM_GETITEMCOUNT, 0, 0));
}

int ListView::GetNextSelected(int after) const {
    return static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, after, LVNI_SELECTED));
}

bool ListView::DeleteItem(int index) {
    return SendMessageA(hwnd_, LVM_DELETEITEM, index, 0) != 0;
}

bool ListView::SetColumnWidth(int column, int width) {
    return SendMessageA(hwnd_, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
}

int ListView::GetColumnWidth(int column) const {
    return static_cast<int>(SendMessageA(hwnd_, LVM_GETCOLUMNWIDTH, column, 0));
}

void ListView::SetExtendedStyle(DWORD style, DWORD mask) {
    SendMessageA(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

HIMAGELIST ListView::SetSmallImageList(HIMAGELIST images) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessageA(hwnd_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
}

bool ImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    Destroy();
    handle_ = ImageList_Create(cx, cy, flags, initial, grow);
    return handle_ != nullptr;
}

int ImageList::AddIcon(HICON icon) {
    return ImageList_ReplaceIcon(handle_, -1, icon);
}

void ImageList::SetBkColor(COLORREF color) {
    ImageList_SetBkColor(handle_, color);
}

void ImageList::Destroy() {
    if (handle_)
        ImageList_Destroy(handle_);
    handle_ = nullptr;
}

bool Menu::Load(int resourceId) {
    Destroy();
    handle_ = LoadMenuA(AppInstance(), MAKEINTRESOURCEA(resourceId));
    return handle_ != nullptr;
}

HMENU Menu::Detach() {
    HMENU h = handle_;
    handle_ = nullptr;
    return h;
}

void Menu::Destroy() {
    if (handle_)
        DestroyMenu(handle_);
    handle_ = nullptr;
}

}  // namespace tolvi::ui
