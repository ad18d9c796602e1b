// Message boxes with the application's defaults.
#include "ui/MessageBox.h"

#include "resource.h"
#include "ui/Window.h"

namespace tolvi::ui {

std::string AppTitle() {
    char title[128] = "";
    if (LoadStringA(AppInstance(), IDS_APP_TITLE, title, sizeof title) <= 0)
        return "tolvi4";
    return title;
}

int AppMessageBox(HWND owner, const std::string& text, UINT type, const char* caption) {
    if ((type & MB_TYPEMASK) == MB_OK && (type & MB_ICONMASK) == 0)
        type |= MB_ICONEXCLAMATION;
    std::string title = caption ? caption : AppTitle();
    return MessageBoxA(owner, text.c_str(), title.c_str(), type);
}

}  // namespace tolvi::ui
