// The main frame's rules.
#include "app/FrameRules.h"

namespace tolvi {
namespace {

const CommandInfo kCommands[] = {
    {32777, "ConnectorView::OnNewConnector", 1, "Create new pipe connector",
     "Create New Connector"},
    {32788, "ConnectorView::OnEditConnector", 2, "Edit pipe connector",
     "Edit connector properties"},
    {32787, "ConnectorView::OnResetConnector", 3, "Reset connection", "Disconnect client"},
    {32783, "ConnectorView::OnDeleteConnector", 4, "Delete pipe connector", "Delete Connector"},
    {32789, "CMainFrame::OnSettings", 5, "Settings", "Configuration"},
    {32781, "CMainFrame::OnQuickHelp", 6, "Quick help", "Help"},
    {57664, "ProxyApp::OnAbout", 0, nullptr,
     "Display program information, version number and copyright"},
    {57665, "exit: a close request to the main window", 0, nullptr,
     "Quit the application; prompts to save documents"},
    {59392, "show or hide the toolbar", 0, nullptr, "Show or hide the toolbar"},
    {59393, "show or hide the status bar", 0, nullptr, "Show or hide the status bar"},
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
