// The Console options dialog.
#include "dialogs/ConsoleOptionsDialog.h"

#include <commdlg.h>

#include <string>
#include <vector>

#include "dialogs/ConnectorValidation.h"
#include "resource.h"
#include "ui/MessageBox.h"

namespace tolvi {

ConsoleOptionsDialog::ConsoleOptionsDialog(HWND parent) : ui::Dialog(IDD_CONSOLE_OPTIONS, parent) {}

BOOL ConsoleOptionsDialog::OnInitDialog() {
    SendMessageA(Item(IDC_LOG_FILE), EM_LIMITTEXT, kLongestFieldText, 0);
    SetDlgItemTextA(Hwnd(), IDC_MAX_CLIENTS, std::to_string(settings.maxClients).c_str());
    SetDlgItemTextA(Hwnd(), IDC_LOG_FILE, settings.logFile.c_str());
    SetDlgItemTextA(Hwnd(), IDC_REPLAY, std::to_string(settings.replayKiB).c_str());
    return TRUE;
}

void ConsoleOptionsDialog::OnOK() {
    std::string clients, logFile, replay;
    ui::DataExchange dx(Hwnd(), true);
    dx.Text(IDC_MAX_CLIENTS, clients);
    dx.Text(IDC_LOG_FILE, logFile);
    dx.Text(IDC_REPLAY, replay);
    ConnectorSettings entered = settings;
    Verdict verdict = ValidateFieldLengths(
        {{"Clients at once", clients}, {"Log file", logFile}, {"Replay", replay}});
    if (verdict.accepted)
        verdict = ValidateConsoleOptions(clients, replay, &entered);
    if (!verdict.accepted) {
        ui::AppMessageBox(Hwnd(), verdict.message, MB_OK | MB_ICONEXCLAMATION, "Error!");
        return;  // the dialog stays open with everything as typed
    }
    entered.logFile = logFile;
    settings = entered;
    EndDialog(IDOK);
}

void ConsoleOptionsDialog::Browse() {
    std::vector<char> path(MAX_PATH * 4, '\0');
    std::string typed;
    ui::DataExchange(Hwnd(), true).Text(IDC_LOG_FILE, typed);
    typed.copy(path.data(), path.size() - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = "Log files (*.log)\0*.log\0Text files (*.txt)\0*.txt\0All files\0*.*\0";
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrTitle = "Log file";
    ofn.lpstrDefExt = "log";
    // The log is appended to: choosing a file that exists asks nothing.
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetSaveFileNameA(&ofn))
        SetDlgItemTextA(Hwnd(), IDC_LOG_FILE, path.data());
}

bool ConsoleOptionsDialog::OnDialogMessage(UINT msg, WPARAM w, LPARAM, INT_PTR* result) {
    if (msg == WM_COMMAND && LOWORD(w) == IDC_BROWSE_LOG && HIWORD(w) == BN_CLICKED) {
        Browse();
        *result = TRUE;
        return true;
    }
    return false;
}

}  // namespace tolvi
