// The Settings dialog and the About box.
#include "dialogs/SettingsDialog.h"

#include "resource.h"

namespace tolvi {

SettingsDialog::SettingsDialog(std::function<void(bool, bool)> registerAutoStart)
    : ui::Dialog(IDD_SETTINGS, nullptr), registerAutoStart(std::move(registerAutoStart)) {}

void SettingsDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Check(IDC_AUTOSTART, autoStart);
    dx.Check(IDC_EXIT_TO_TRAY, exitToTray);
}

void SettingsDialog::OnOK() {
    UpdateData(true);
    if (registerAutoStart)
        registerAutoStart(autoStart != 0, exitToTray != 0);
    // The dialog closes whatever the registration reported; the caller saves the options.
    ui::Dialog::OnOK();
}

AboutDialog::AboutDialog(HWND parent) : ui::Dialog(IDD_ABOUTBOX, parent) {}

}  // namespace tolvi
