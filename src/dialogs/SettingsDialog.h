// "Settings": start with Windows, minimise to the tray on exit, the port of the web console,
// and the SSH server's port, with its host key and keys file to see.
#pragma once
#include <functional>
#include <string>

#include "ui/Dialog.h"

namespace tolvi {

class SettingsDialog : public ui::Dialog {
  public:
    // Owned by parent, which it disables while it is up. registerAutoStart brings the
    // start-with-Windows entry into line when OK is pressed, and says what went wrong.
    SettingsDialog(HWND parent, std::function<std::string(bool)> registerAutoStart);

    int autoStart = 0;
    int exitToTray = 0;
    int webConsolePort = 0;  // 0: any free port
    int sshPort = 0;         // 0: no SSH
    std::string sshFingerprint;  // shown only
    std::string sshKeysFile;     // shown only

  protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;

  private:
    std::function<std::string(bool)> registerAutoStart;
    std::string webPortText;
    std::string sshPortText;
};

// The About box: the program's icon, its version and who made it.
class AboutDialog : public ui::Dialog {
  public:
    explicit AboutDialog(HWND parent);
};

}  // namespace tolvi
