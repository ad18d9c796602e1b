// The connector dialogs.
#include "dialogs/ConnectorDialog.h"

#include <vector>

#include "resource.h"
#include "table/ConnectorView.h"
#include "ui/MessageBox.h"

namespace tolvi {

ConnectorDialog::ConnectorDialog(DialogKind kind, ConnectorView& connectorList)
    : ui::Dialog(kind == DialogKind::Add ? IDD_ADD_CONNECTOR : IDD_EDIT_CONNECTOR,
                 connectorList.Hwnd()),
      kind(kind),
      connectorList(connectorList),
      pipeNameId(kind == DialogKind::Add ? IDC_ADD_PIPE_NAME : IDC_EDIT_PIPE_NAME),
      confirmId(kind == DialogKind::Add ? IDC_ADD : IDC_SAVE) {}

AddConnectorDialog::AddConnectorDialog(ConnectorView& list)
    : ConnectorDialog(DialogKind::Add, list) {}

EditConnectorDialog::EditConnectorDialog(ConnectorView& list)
    : ConnectorDialog(DialogKind::Edit, list) {}

ConnectorSettings ConnectorDialog::Settings() const {
    return ConnectorSettings{pipeName, portText, description, allowNonLocal, listOnly, clientList};
}

void ConnectorDialog::SetSettings(const ConnectorSettings& s) {
    pipeName = s.pipeName;
    portText = s.portText;
    description = s.description;
    allowNonLocal = s.allowNonLocal;
    listOnly = s.listOnly;
    clientList = s.clientList;
}

BOOL ConnectorDialog::OnInitDialog() {
    const int texts[] = {pipeNameId, IDC_PORT, IDC_DESCRIPTION, IDC_CLIENT_LIST};
    const std::string* values[] = {&pipeName, &portText, &description, &clientList};
    for (int i = 0; i < 4; ++i) {
        // Nothing longer than the store can keep can be typed.
        SendMessageA(Item(texts[i]), EM_LIMITTEXT, kLongestFieldText, 0);
        SetWindowTextA(Item(texts[i]), values[i]->c_str());
    }
    CheckDlgButton(Hwnd(), IDC_NON_LOCAL, allowNonLocal ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(Hwnd(), IDC_LIST_ONLY, listOnly ? BST_CHECKED : BST_UNCHECKED);
    if (kind == DialogKind::Edit) {
        EnableWindow(Item(IDC_LIST_ONLY), allowNonLocal);
        EnableWindow(Item(IDC_CLIENT_LIST), allowNonLocal && listOnly);
    }
    return TRUE;  // the pipe name, first in the tab order, takes the focus
}

std::string ConnectorDialog::FieldText(int id) const {
    HWND field = Item(id);
    int length = GetWindowTextLengthA(field);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int got = GetWindowTextA(field, buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

void ConnectorDialog::OnNonLocalClicked() {
    allowNonLocal = IsDlgButtonChecked(Hwnd(), IDC_NON_LOCAL) == BST_CHECKED;
    EnableWindow(Item(IDC_LIST_ONLY), allowNonLocal);
    bool listChecked = IsDlgButtonChecked(Hwnd(), IDC_LIST_ONLY) == BST_CHECKED;
    EnableWindow(Item(IDC_CLIENT_LIST), allowNonLocal && listChecked);
}

void ConnectorDialog::OnListOnlyClicked() {
    listOnly = IsDlgButtonChecked(Hwnd(), IDC_LIST_ONLY) == BST_CHECKED;
    EnableWindow(Item(IDC_CLIENT_LIST), listOnly);
}

void ConnectorDialog::Confirm() {
    pipeName = FieldText(pipeNameId);
    description = FieldText(IDC_DESCRIPTION);
    portText = FieldText(IDC_PORT);
    if (kind == DialogKind::Edit) {
        clientList = FieldText(IDC_CLIENT_LIST);
        allowNonLocal = IsDlgButtonChecked(Hwnd(), IDC_NON_LOCAL) == BST_CHECKED;
        listOnly = IsDlgButtonChecked(Hwnd(), IDC_LIST_ONLY) == BST_CHECKED;
    }
    std::vector<RowKey> rows;
    for (int i = 0; i < connectorList.GetRowCount(); ++i) {
        const PipeConnector* c = connectorList.GetRowConnector(i);
        rows.push_back(RowKey{c->GetPipeName(), c->GetPortText()});
    }
    int skip = kind == DialogKind::Edit ? connectorList.GetSelectedRow() : -1;
    Verdict verdict = ValidateConnector(kind, Settings(), rows, skip);
    if (!verdict.accepted) {
        UINT icon = verdict.icon == MessageIcon::Stop ? MB_ICONHAND : MB_ICONEXCLAMATION;
        ui::AppMessageBox(Hwnd(), verdict.message, MB_OK | icon, "Error!");
        return;  // the dialog stays open with everything as typed
    }
    if (kind == DialogKind::Add)
        clientList = FieldText(IDC_CLIENT_LIST);
    EndDialog(IDOK);
}

void ConnectorDialog::OnOK() {
    Confirm();
}  // Enter with the focus outside the buttons

bool ConnectorDialog::OnDialogMessage(UINT msg, WPARAM w, LPARAM, INT_PTR* result) {
    if (msg != WM_COMMAND || HIWORD(w) != BN_CLICKED)
        return false;
    int id = LOWORD(w);
    *result = TRUE;
    if (id == confirmId) {
        Confirm();
    } else if (id == IDC_CANCEL) {
        OnCancel();
    } else if (id == IDC_NON_LOCAL) {
        OnNonLocalClicked();
    } else if (id == IDC_LIST_ONLY) {
        OnListOnlyClicked();
    } else {
        return false;
    }
    return true;
}

}  // namespace tolvi
