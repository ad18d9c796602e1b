// Thin owners and wrappers for the common controls the program uses: the report list view,
// its image list, and menus loaded from resources.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace tolvi::ui {

// Loads the common controls once per process (list view, toolbar, status bar, tooltips).
void InitCommonControlsOnce();

// A list view control owned by its parent window; this only talks to it, in UTF-8.
class ListView {
  public:
    void Attach(HWND hwnd) { control = hwnd; }
    HWND Hwnd() const { return control; }

    int InsertColumn(int index, const char* title, int width);
    int InsertItem(int index, const std::string& text);
    bool SetItemText(int item, int column, const std::string& text);
    std::string GetItemText(int item, int column) const;
    bool SetItemImage(int item, int image);
    int GetItemImage(int item) const;
    int GetItemCount() const;
    int GetNextSelected(int after = -1) const;
    // Selects item (and gives it the focus) or takes its selection away.
    bool SetSelected(int item, bool selected);
    bool DeleteItem(int item);
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;
    void SetExtendedStyle(DWORD style, DWORD mask);
    // Returns the image list it had, which is the caller's to destroy.
    HIMAGELIST SetSmallImageList(HIMAGELIST images);

  private:
    HWND control = nullptr;
};

// An image list the program creates and destroys.
class ImageList {
  public:
    ImageList() = default;
    ~ImageList() { Destroy(); }
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    int AddIcon(HICON icon);
    void SetBkColor(COLORREF color);
    HIMAGELIST Handle() const { return handle; }
    // Gives the image list up to a control that destroys it itself.
    HIMAGELIST Detach() {
        HIMAGELIST h = handle;
        handle = nullptr;
        return h;
    }
    void Destroy();

  private:
    HIMAGELIST handle = nullptr;
};

// A menu loaded from a resource, destroyed with its owner.
class Menu {
  public:
    Menu() = default;
    ~Menu() { Destroy(); }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    bool Load(int resourceId);
    HMENU Handle() const { return handle; }
    HMENU SubMenu(int position) const { return GetSubMenu(handle, position); }
    // Hands the menu to a window, which destroys it with itself.
    HMENU Detach();
    void Destroy();

  private:
    HMENU handle = nullptr;
};

}  // namespace tolvi::ui
