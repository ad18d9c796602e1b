// The connector commands: New, Edit, Delete, Reset and the list's context menu. They build,
// replace and destroy connectors in the order the engine needs, and save after each change.
#include <windowsx.h>

#include "dialogs/ConnectorDialog.h"
#include "engine/Format.h"
#include "resource.h"
#include "table/ConnectorView.h"
#include "ui/MessageBox.h"

namespace tolvi {
namespace {

enum { kColPipe = 0, kColPort = 1, kColSent = 3, kColRecv = 4, kColDescription = 6 };

}  // namespace

void ConnectorView::SaveConfiguration() {
    if (saveConfiguration)
        saveConfiguration();
}

int ConnectorView::Ask(const std::string& text, UINT type, const char* caption) {
    return ui::AppMessageBox(Hwnd(), text, type, caption);
}

LRESULT ConnectorView::OnNewConnector(WPARAM, LPARAM) {
    AddConnectorDialog dialog(*this);
    while (dialog.DoModal() == IDOK) {
        auto connector =
            std::make_unique<PipeConnector>(dialog.pipeName, dialog.portText, dialog.description);
        if (!connector->CreateListener()) {
            Ask(connector->GetErrorText(), MB_OK | MB_ICONEXCLAMATION, "Configuration Error!");
            continue;  // the dialog again, with what the user entered
        }
        ui::LockHolder hold(lock);
        PipeConnector* c = connector.get();
        AppendConnectorRow(std::move(connector), dialog.pipeName, dialog.portText,
                           dialog.description);
        c->SetAdmission(dialog.allowNonLocal, dialog.listOnly, dialog.clientList);
        c->StartWorker();
        break;
    }
    SaveConfiguration();
    return 0;
}

LRESULT ConnectorView::OnEditConnector(WPARAM, LPARAM) {
    {
        ui::LockHolder hold(lock);
        EditConnectorDialog dialog(*this);
        int row = GetSelectedRow();
        if (GetRowCount() == 0 || row < 0)
            return 0;
        PipeConnector* old = GetRowConnector(row);
        dialog.SetSettings(ConnectorSettings{old->GetPipeName(), old->GetPortText(),
                                             old->GetDescription(), old->AllowsNonLocal(),
                                             old->IsListOnly(), old->GetClientList()});
        std::string client = old->GetClientAddress();
        if (!client.empty() &&
            Ask(Format("Client %s will be disconnected! Procced? \n", client.c_str()),
                MB_YESNO | MB_ICONQUESTION, "Warning!") != IDYES) {
            return 0;
        }
        while (dialog.DoModal() == IDOK) {
            // Opened while the old connector still listens, possibly on the same port.
            auto fresh = std::make_unique<PipeConnector>(dialog.pipeName, dialog.portText,
                                                         dialog.description);
            if (!fresh->CreateListener()) {
                Ask(fresh->GetErrorText(), MB_OK | MB_ICONEXCLAMATION, "Configuration Error!");
                continue;
            }
            old->StopAndWait();
            delete old;
            listControl.SetItemText(row, kColPipe, dialog.pipeName);
            listControl.SetItemText(row, kColPort, dialog.portText);
            listControl.SetItemText(row, kColSent, "0");
            listControl.SetItemText(row, kColRecv, "0");
            listControl.SetItemText(row, kColDescription, dialog.description);
            PipeConnector* c = fresh.release();
            listControl.SetItemData(row, reinterpret_cast<LPARAM>(c));
            c->SetAdmission(dialog.allowNonLocal, dialog.listOnly, dialog.clientList);
            c->StartWorker();
            break;
        }
    }
    SaveConfiguration();
    return 0;
}

LRESULT ConnectorView::OnDeleteConnector(WPARAM, LPARAM) {
    {
        ui::LockHolder hold(lock);
        int row = GetSelectedRow();
        if (GetRowCount() == 0 || row < 0)
            return 0;
        PipeConnector* connector = GetRowConnector(row);
        if (Ask(Format("Really want to delete connector for pipe %s?",
                       connector->GetPipeName().c_str()),
                MB_YESNO | MB_ICONQUESTION, "Delete Connector?") != IDYES) {
            return 0;
        }
        listControl.DeleteItem(row);
        connector->StopAndWait();
        delete connector;
    }
    SaveConfiguration();
    return 0;
}

LRESULT ConnectorView::OnResetConnector(WPARAM, LPARAM) {
    ui::LockHolder hold(lock);
    if (GetRowCount() == 0)
        return 0;
    int row = GetSelectedRow();
    if (row < 0) {
        Ask("Select connection to be cancelled", MB_OK | MB_ICONEXCLAMATION, "Delete");
        return 0;
    }
    PipeConnector* connector = GetRowConnector(row);
    std::string client = connector->GetClientAddress();
    if (client.empty()) {
        Ask(Format("Pipe %s is not connected to any client", connector->GetPipeName().c_str()),
            MB_OK | MB_ICONINFORMATION, "Not connected");
        return 0;
    }
    if (Ask(Format("Client %s will be disconnected from pipe %s", client.c_str(),
                   connector->GetPipeName().c_str()),
            MB_YESNO | MB_ICONEXCLAMATION, "Warning!") != IDYES) {
        return 0;
    }
    connector->StopAndWait();
    if (connector->CreateListener())
        connector->StartWorker();
    return 0;
}

LRESULT ConnectorView::OnListRightClick(WPARAM, LPARAM) {
    bool selection;
    {
        ui::LockHolder hold(lock);
        selection = GetRowCount() > 0 && GetSelectedRow() >= 0;
    }
    DWORD at = GetMessagePos();
    TrackPopupMenu(contextMenu.SubMenu(selection ? 0 : 1), 0, GET_X_LPARAM(at), GET_Y_LPARAM(at), 0,
                   Hwnd(), nullptr);
    return 0;
}

}  // namespace tolvi
