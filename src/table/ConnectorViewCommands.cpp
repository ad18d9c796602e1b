// The list window's side of the connector commands: the handlers that start them, and the
// dialogs, boxes and saving that the flows ask of the window.
#include <windowsx.h>

#include "dialogs/ClientsDialog.h"
#include "dialogs/ConnectorDialog.h"
#include "dialogs/ConsoleOptionsDialog.h"
#include "resource.h"
#include "table/ConnectorView.h"
#include "ui/MessageBox.h"

namespace tolvi {
namespace {

const char kServiceChanges[] =
    "This connector belongs to the tolvi service; change it with tolvi-relay service as "
    "administrator.";
const char kServiceClients[] =
    "This connector belongs to the tolvi service: its clients are served by the service's own "
    "process, and this window cannot list or disconnect them.";
// The last line a client disconnected from the Clients dialog is sent.
const char kDisconnectedNotice[] = "\r\n*** disconnected from the window\r\n";

}  // namespace

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
    if (!RefusedForService(GetSelectedRow(), kServiceChanges))
        commands.Edit();
    return 0;
}

LRESULT ConnectorView::OnDeleteConnector(WPARAM, LPARAM) {
    if (!RefusedForService(GetSelectedRow(), kServiceChanges))
        commands.Delete();
    return 0;
}

LRESULT ConnectorView::OnResetConnector(WPARAM, LPARAM) {
    if (!RefusedForService(GetSelectedRow(), kServiceChanges))
        commands.Reset();
    return 0;
}

LRESULT ConnectorView::OnConsoleOptions(WPARAM, LPARAM) {
    if (!RefusedForService(GetSelectedRow(), kServiceChanges))
        commands.ConsoleOptions();
    return 0;
}

LRESULT ConnectorView::OnClients(WPARAM, LPARAM) {
    OpenClients(GetSelectedRow());
    return 0;
}

void ConnectorView::OpenClients(int row) {
    if (row < 0 || RefusedForService(row, kServiceClients) || row >= connectors.Count())
        return;
    // The dialog is modal, so no command can replace or remove the row meanwhile; should the
    // row hold another connector all the same, the dialog shows none rather than a stale one.
    const PipeConnector* shown = &connectors.At(row);
    auto connector = [this, row, shown]() -> PipeConnector* {
        return row < connectors.Count() && &connectors.At(row) == shown ? &connectors.At(row)
                                                                        : nullptr;
    };
    ClientsDialog::Source source;
    source.title = shown->GetPipeName() + " on port " + shown->GetPortText();
    if (!shown->GetDescription().empty())
        source.title += ": " + shown->GetDescription();
    source.clients = [connector] {
        PipeConnector* c = connector();
        return c ? c->Clients() : std::vector<ClientInfo>{};
    };
    source.disconnect = [connector](uint64_t id) {
        if (PipeConnector* c = connector())
            c->Disconnect(id, kDisconnectedNotice);
    };
    source.line = [connector]() -> std::string {
        SerialLine line;
        PipeConnector* c = connector();
        return c && c->GetSerialLine(&line) ? "COM port: " + SerialLineText(line) : "";
    };
    ClientsDialog dialog(Hwnd(), std::move(source));
    ClientsDialog* outer = clientsShown;
    clientsShown = &dialog;
    dialog.DoModal();
    clientsShown = outer;
}

LRESULT ConnectorView::OnListRightClick(WPARAM, LPARAM) {
    bool selection = GetSelectedRow() >= 0;  // a row of the program's or of the service's
    DWORD at = GetMessagePos();
    TrackPopupMenu(contextMenu.SubMenu(selection ? 0 : 1), 0, GET_X_LPARAM(at), GET_Y_LPARAM(at), 0,
                   Hwnd(), nullptr);
    return 0;
}

}  // namespace tolvi
