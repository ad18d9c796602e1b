// The Console options dialog.
#include "dialogs/ConsoleOptionsDialog.h"

#include <commdlg.h>

#include "model/ConnectorValidation.h"
#include "resource.h"
#include "ui/MessageBox.h"
#include "ui/Window.h"

namespace tolvi {
namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// An option's text to or from its control; a check box stands for "1" or "0".
void Exchange(ui::DataExchange& dx, const ConnectorOption& option, std::string& text) {
    if (option.kind != OptionKind::Flag) {
        // A text of several lines (the alerts' patterns) is kept with LF alone; its edit
        // control wants CR LF.
        if (!dx.Saving())
            text = Replaced(text, "\n", "\r\n");
        dx.Text(option.control, text);
        if (dx.Saving())
            text = Replaced(text, "\r\n", "\n");
        return;
    }
    bool on = text != "0";
    dx.Check(option.control, on);
    text = on ? "1" : "0";
}

}  // namespace

ConsoleOptionsDialog::ConsoleOptionsDialog(HWND parent) : ui::Dialog(IDD_CONSOLE_OPTIONS, parent) {}

std::vector<const ConnectorOption*> ConsoleOptionsDialog::Shown() const {
    std::vector<const ConnectorOption*> shown;
    for (const ConnectorOption& option : ConnectorOptions()) {
        if (option.control != 0 && Item(option.control))
            shown.push_back(&option);
    }
    return shown;
}

std::string ConsoleOptionsDialog::LabelOf(const ConnectorOption& option) const {
    std::string label = ui::WindowText(GetWindow(Item(option.control), GW_HWNDPREV));
    size_t end = label.find_last_not_of(": ");
    return end == std::string::npos ? option.valueName : label.substr(0, end + 1);
}

BOOL ConsoleOptionsDialog::OnInitDialog() {
    ui::DataExchange dx(Hwnd(), false);
    for (const ConnectorOption* option : Shown()) {
        if (option->kind == OptionKind::Text)
            SendMessageW(Item(option->control), EM_LIMITTEXT, kLongestFieldText, 0);
        std::string text = OptionText(*option, settings);
        Exchange(dx, *option, text);
    }
    return TRUE;
}

void ConsoleOptionsDialog::OnOK() {
    ConnectorSettings entered = settings;
    ui::DataExchange dx(Hwnd(), true);
    for (const ConnectorOption* option : Shown()) {
        std::string text;
        Exchange(dx, *option, text);
        Verdict length = ValidateFieldLengths({{LabelOf(*option).c_str(), text}});
        std::string message = length.message;
        if (length.accepted && SetOptionFromText(*option, text, &entered, &message))
            continue;
        ui::AppMessageBox(Hwnd(), message, MB_OK | MB_ICONEXCLAMATION, "Error!");
        return;  // the dialog stays open with everything as typed
    }
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
