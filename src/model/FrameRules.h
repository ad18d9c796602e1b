// The main frame's rules that need no window system: the command table, the close rule and
// what a mouse press on the tray icon does.
#pragma once
#include <cstdint>

namespace tolvi {

// A command's place in the program; its prompt and tooltip are in the string table, under the
// command's id, as "prompt\ntooltip".
struct CommandInfo {
    uint32_t id;
    int toolbarButton;  // 1 to 6, 0 for none
};

// Every command of the program, in the order of the table.
const CommandInfo* CommandTable(int* count);
const CommandInfo* FindCommand(uint32_t id);

enum class CloseAction { EndProgram, GoToTray };
// A close request ends the program from the tray or without ExitToTray; otherwise it hides.
CloseAction DecideClose(bool inTray, bool exitToTray);

enum class TrayAction { None, Restore, ShowMenu };
// The left button pressed brings the window back; the right one shows TrayMenu.
TrayAction DecideTrayNotify(uint32_t mouseMessage);

}  // namespace tolvi
