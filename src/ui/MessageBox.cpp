// Message boxes with the application's defaults.
#include "ui/MessageBox.h"

#include "platform/win32/WideText.h"
#include "resource.h"
#include "ui/Window.h"

namespace tolvi::ui {

std::string AppTitle() {
    std::string title = LoadText(IDS_APP_TITLE);
    return title.empty() ? "tolvi4" : title;
}

int AppMessageBox(HWND owner, const std::string& text, UINT type, const char* caption) {
    if ((type & MB_TYPEMASK) == MB_OK && (type & MB_ICONMASK) == 0)
        type |= MB_ICONEXCLAMATION;
    std::string title = caption ? caption : AppTitle();
    return MessageBoxW(owner, platform::Widen(text).c_str(), platform::Widen(title).c_str(), type);
}

}  // namespace tolvi::ui
