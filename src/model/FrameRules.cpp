// The main frame's rules.
#include "model/FrameRules.h"

#include "resource.h"

namespace tolvi {
namespace {

const CommandInfo kCommands[] = {
    {ID_CONNECTOR_NEW, 1},    {ID_CONNECTOR_EDIT, 2},    {ID_CONNECTOR_RESET, 3},
    {ID_CONNECTOR_DELETE, 4}, {ID_CONNECTOR_CONSOLE, 0}, {ID_CONNECTOR_OPEN_CONSOLE, 0},
    {ID_SETTINGS, 5},         {ID_QUICK_HELP, 6},        {ID_APP_ABOUT, 0},
    {ID_APP_EXIT, 0},         {ID_VIEW_TOOLBAR, 0},      {ID_VIEW_STATUS_BAR, 0},
};

constexpr uint32_t kLeftButtonDown = 0x201, kRightButtonDown = 0x204;

}  // namespace

const CommandInfo* CommandTable(int* count) {
    *count = static_cast<int>(sizeof kCommands / sizeof kCommands[0]);
    return kCommands;
}

const CommandInfo* FindCommand(uint32_t id) {
    for (const CommandInfo& c : kCommands) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

CloseAction DecideClose(bool inTray, bool exitToTray) {
    return (inTray || !exitToTray) ? CloseAction::EndProgram : CloseAction::GoToTray;
}

TrayAction DecideTrayNotify(uint32_t mouseMessage) {
    if (mouseMessage == kLeftButtonDown)
        return TrayAction::Restore;
    if (mouseMessage == kRightButtonDown)
        return TrayAction::ShowMenu;
    return TrayAction::None;
}

}  // namespace tolvi
