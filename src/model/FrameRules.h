// The main frame's rules that need no window system: the close rule and what a mouse press
// on the tray icon does.
#pragma once
#include <cstdint>

namespace tolvi {

enum class CloseAction { EndProgram, GoToTray };
// A close request ends the program from the tray or without ExitToTray; otherwise it hides.
CloseAction DecideClose(bool inTray, bool exitToTray);

enum class TrayAction { None, Restore, ShowMenu };
// The left button pressed brings the window back; the right one shows the tray menu (pop-up 2
// of the context menus).
TrayAction DecideTrayNotify(uint32_t mouseMessage);

}  // namespace tolvi
