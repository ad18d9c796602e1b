// The Settings dialog and the About box.
#include "dialogs/SettingsDialog.h"

#include "engine/PortText.h"
#include "resource.h"
#include "ui/MessageBox.h"

namespace tolvi {

SettingsDialog::SettingsDialog(HWND parent, std::function<std::string(bool)> registerAutoStart)
    : ui::Dialog(IDD_SETTINGS, parent), registerAutoStart(std::move(registerAutoStart)) {}

void SettingsDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Check(IDC_AUTOSTART, autoStart);
    dx.Check(IDC_EXIT_TO_TRAY, exitToTray);
    webPortText = std::to_string(webConsolePort);
    dx.Text(IDC_WEB_PORT, webPortText);
    sshPortText = std::to_string(sshPort);
    dx.Text(IDC_SSH_PORT, sshPortText);
    std::string shown = sshFingerprint.empty() ? "(made when SSH first starts)" : sshFingerprint;
    dx.Text(IDC_SSH_FINGERPRINT, shown);
    shown = sshKeysFile;
    dx.Text(IDC_SSH_KEYS_FILE, shown);
}

void SettingsDialog::OnOK() {
    UpdateData(true);
    int port = 0;
    if (!ReadWholeNumber(webPortText, &port) || port > 65535) {
        ui::AppMessageBox(Hwnd(), "Web console port must be a number from 0 to 65535",
                          MB_OK | MB_ICONEXCLAMATION, "Error!");
        return;  // the dialog stays open with everything as typed
    }
    int ssh = 0;
    if (!ReadWholeNumber(sshPortText, &ssh) || ssh > 65535) {
        ui::AppMessageBox(Hwnd(), "SSH port must be a number from 0 to 65535",
                          MB_OK | MB_ICONEXCLAMATION, "Error!");
        return;
    }
    if (ssh != 0 && ssh == port) {
        ui::AppMessageBox(Hwnd(), "SSH port must not be the web console's port",
                          MB_OK | MB_ICONEXCLAMATION, "Error!");
        return;
    }
    webConsolePort = port;
    sshPort = ssh;
    std::string problem = registerAutoStart ? registerAutoStart(autoStart != 0) : "";
    if (!problem.empty())
        ui::AppMessageBox(Hwnd(), problem);
    // The dialog closes whatever the registration reported; the caller saves the options.
    ui::Dialog::OnOK();
}

AboutDialog::AboutDialog(HWND parent) : ui::Dialog(IDD_ABOUTBOX, parent) {}

}  // namespace tolvi
