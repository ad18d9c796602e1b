// The list window's side of the connector commands: the handlers that start them, and the
// dialogs, boxes and saving that the flows ask of the window.
#include <windowsx.h>

#include "dialogs/ConnectorDialog.h"
#include "dialogs/ConsoleOptionsDialog.h"
#include "resource.h"
#include "table/ConnectorView.h"
#include "ui/MessageBox.h"

namespace tolvi {

bool ConnectorView::RunConnectorDialog(DialogKind kind, ConnectorSettings* settings,
                                       const std::vector<RowKey>& rows, int skipRow) {
    ConnectorDialog dialog(kind, Hwnd(), rows, skipRow);
    dialog.settings = *settings;
    if (dialog.DoModal() != IDOK)
        return false;
    *settings = dialog.settings;
    return true;
}

bool ConnectorView::RunConsoleOptionsDialog(ConnectorSettings* settings) {
    ConsoleOptionsDialog dialog(Hwnd());
    dialog.settings = *settings;
    if (dialog.DoModal() != IDOK)
        return false;
    *settings = dialog.settings;
    return true;
}

bool ConnectorView::Ask(const std::string& text, BoxKind kind, const char* caption) {
    UINT type = MB_OK | MB_ICONEXCLAMATION;
    switch (kind) {
        case BoxKind::OkExclamation:
            break;
        case BoxKind::OkInformation:
            type = MB_OK | MB_ICONINFORMATION;
            break;
        case BoxKind::YesNoQuestion:
            type = MB_YESNO | MB_ICONQUESTION;
            break;
        case BoxKind::YesNoExclamation:
            type = MB_YESNO | MB_ICONEXCLAMATION;
            break;
    }
    int answer = ui::AppMessageBox(Hwnd(), text, type, caption);
    return (type & MB_YESNO) ? answer == IDYES : true;  // only Yes consents
}

void ConnectorView::SaveConfiguration() {
    if (saveConfiguration)
        saveConfiguration();
}

LRESULT ConnectorView::OnNewConnector(WPARAM, LPARAM) {
    commands.New();
    return 0;
}

LRESULT ConnectorView::OnEditConnector(WPARAM, LPARAM) {
    if (!RefusedForService())
        commands.Edit();  // the double-click's notification is not looked at
    return 0;
}

LRESULT ConnectorView::OnDeleteConnector(WPARAM, LPARAM) {
    if (!RefusedForService())
        commands.Delete();
    return 0;
}

LRESULT ConnectorView::OnResetConnector(WPARAM, LPARAM) {
    if (!RefusedForService())
        commands.Reset();
    return 0;
}

LRESULT ConnectorView::OnConsoleOptions(WPARAM, LPARAM) {
    if (!RefusedForService())
        commands.ConsoleOptions();
    return 0;
}

LRESULT ConnectorView::OnListRightClick(WPARAM, LPARAM) {
    bool selection = GetSelectedRow() >= 0;  // a row of the program's or of the service's
    DWORD at = GetMessagePos();
    TrackPopupMenu(contextMenu.SubMenu(selection ? 0 : 1), 0, GET_X_LPARAM(at), GET_Y_LPARAM(at), 0,
                   Hwnd(), nullptr);
    return 0;
}

}  // namespace tolvi
