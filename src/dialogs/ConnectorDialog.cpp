// The connector dialogs: "Add pipe connector" (template 106, pipe name 1007, "&Add" 1010) and
// "Edit pipe connector" (template 107, pipe name 1018, "&Save" 1019).
#include "dialogs/ConnectorDialog.h"

#include "resource.h"
#include "ui/MessageBox.h"

namespace tolvi {

ConnectorDialog::ConnectorDialog(DialogKind kind, HWND parent, std::vector<RowKey> rows,
                                 int skipRow)
    : ui::Dialog(kind == DialogKind::Add ? IDD_ADD_CONNECTOR : IDD_EDIT_CONNECTOR, parent),
      kind(kind),
      rows(std::move(rows)),
      skipRow(skipRow),
      pipeNameId(kind == DialogKind::Add ? IDC_ADD_PIPE_NAME : IDC_EDIT_PIPE_NAME),
      confirmId(kind == DialogKind::Add ? IDC_ADD : IDC_SAVE) {}

void ConnectorDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Text(pipeNameId, settings.pipeName);
    dx.Text(IDC_PORT, settings.portText);
    dx.Check(IDC_PIPE_SERVER, settings.pipeServer);
    dx.Text(IDC_DESCRIPTION, settings.description);
    dx.Check(IDC_NON_LOCAL, settings.allowNonLocal);
    dx.Check(IDC_LIST_ONLY, settings.listOnly);
    dx.Text(IDC_CLIENT_LIST, settings.clientList);
}

BOOL ConnectorDialog::OnInitDialog() {
    // Nothing longer than the store can keep can be typed.
    for (int id : {pipeNameId, IDC_PORT, IDC_DESCRIPTION, IDC_CLIENT_LIST})
        SendMessageW(Item(id), EM_LIMITTEXT, kLongestFieldText, 0);
    UpdateData(false);
    if (kind == DialogKind::Edit) {
        EnableWindow(Item(IDC_LIST_ONLY), settings.allowNonLocal);
        EnableWindow(Item(IDC_CLIENT_LIST), settings.allowNonLocal && settings.listOnly);
    }             // the Add dialog keeps its template's states whatever the flags
    return TRUE;  // the pipe name, first in the tab order, takes the focus
}

void ConnectorDialog::OnNonLocalClicked() {
    bool nonLocal = IsDlgButtonChecked(Hwnd(), IDC_NON_LOCAL) == BST_CHECKED;
    EnableWindow(Item(IDC_LIST_ONLY), nonLocal);
    bool listChecked = IsDlgButtonChecked(Hwnd(), IDC_LIST_ONLY) == BST_CHECKED;
    EnableWindow(Item(IDC_CLIENT_LIST), nonLocal && listChecked);
}

void ConnectorDialog::OnListOnlyClicked() {
    EnableWindow(Item(IDC_CLIENT_LIST), IsDlgButtonChecked(Hwnd(), IDC_LIST_ONLY) == BST_CHECKED);
}

void ConnectorDialog::Confirm() {
    ConnectorSettings before = settings;
    UpdateData(true);
    Verdict verdict = ValidateFieldLengths({{"Pipe name", settings.pipeName},
                                            {"Port", settings.portText},
                                            {"Description", settings.description},
                                            {"Client list", settings.clientList}});
    if (verdict.accepted)
        verdict = ValidateConnector(kind, settings, rows, skipRow);
    if (!verdict.accepted) {
        settings = before;  // nothing is handed back until the input passes
        UINT icon = verdict.icon == MessageIcon::Stop ? MB_ICONHAND : MB_ICONEXCLAMATION;
        ui::AppMessageBox(Hwnd(), verdict.message, MB_OK | icon, "Error!");
        return;  // the dialog stays open with everything as typed
    }
    EndDialog(IDOK);
}

void ConnectorDialog::OnOK() {
    Confirm();  // Enter with the focus outside the buttons
}

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
