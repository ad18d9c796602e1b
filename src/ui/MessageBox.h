// Message boxes as the program shows them: the application's title as the caption where none
// is given, and the exclamation icon on an OK-only box that names no icon.
#pragma once
#include <windows.h>

#include <string>

namespace tolvi::ui {

// The application's title, string resource IDS_APP_TITLE ("tolvi4").
std::string AppTitle();

// text and caption are UTF-8.
int AppMessageBox(HWND owner, const std::string& text, UINT type = MB_OK,
                  const char* caption = nullptr);

}  // namespace tolvi::ui
