// "Settings": start with Windows, minimise to the tray on exit, and the port of the web
// console.
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

  protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;

  private:
    std::function<std::string(bool)> registerAutoStart;
    std::string webPortText;
};

// The About box: the program's icon, its version and who made it.
class AboutDialog : public ui::Dialog {
  public:
    explicit AboutDialog(HWND parent);
};

}  // namespace tolvi
