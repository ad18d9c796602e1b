// The main frame's rules.
#include "app/FrameRules.h"

#include "resource.h"

namespace tolvi {
namespace {

const CommandInfo kCommands[] = {
    {ID_CONNECTOR_NEW, "ConnectorView::OnNewConnector", 1},
    {ID_CONNECTOR_EDIT, "ConnectorView::OnEditConnector", 2},
    {ID_CONNECTOR_RESET, "ConnectorView::OnResetConnector", 3},
    {ID_CONNECTOR_DELETE, "ConnectorView::OnDeleteConnector", 4},
    {ID_CONNECTOR_CONSOLE, "ConnectorView::OnConsoleOptions", 0},
    {ID_SETTINGS, "CMainFrame::OnSettings", 5},
    {ID_QUICK_HELP, "CMainFrame::OnQuickHelp", 6},
    {ID_APP_ABOUT, "ProxyApp::OnAbout", 0},
    {ID_APP_EXIT, "exit: a close request to the main window", 0},
    {ID_VIEW_TOOLBAR, "show or hide the toolbar", 0},
    {ID_VIEW_STATUS_BAR, "show or hide the status bar", 0},
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
