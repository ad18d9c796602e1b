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
    SendMessageW(Item(IDC_LOG_FILE), EM_LIMITTEXT, kLongestFieldText, 0);
    std::string clients = std::to_string(settings.maxClients), logFile = settings.logFile,
                replay = std::to_string(settings.replayKiB);
    ui::DataExchange dx(Hwnd(), false);
    dx.Text(IDC_MAX_CLIENTS, clients);
    dx.Text(IDC_LOG_FILE, logFile);
    dx.Text(IDC_REPLAY, replay);
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
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    GetDlgItemTextW(Hwnd(), IDC_LOG_FILE, path.data(), static_cast<int>(path.size()));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = L"Log files (*.log)\0*.log\0Text files (*.txt)\0*.txt\0All files\0*.*\0";
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrTitle = L"Log file";
    ofn.lpstrDefExt = L"log";
    // The log is appended to: choosing a file that exists asks nothing.
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetSaveFileNameW(&ofn))
        SetDlgItemTextW(Hwnd(), IDC_LOG_FILE, path.data());
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
