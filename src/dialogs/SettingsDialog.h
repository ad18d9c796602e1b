// "Settings": start with Windows, and minimise to the tray on exit.
#pragma once
#include <functional>

#include "ui/Dialog.h"

namespace tolvi {

class SettingsDialog : public ui::Dialog {
  public:
    // registerAutoStart brings the start-with-Windows entry into line when OK is pressed.
    explicit SettingsDialog(std::function<void(bool, bool)> registerAutoStart);

    int autoStart = 0;
    int exitToTray = 0;

  protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;

  private:
    std::function<void(bool, bool)> registerAutoStart;
};

// The About box: the program's icon, its version and who made it.
class AboutDialog : public ui::Dialog {
  public:
    explicit AboutDialog(HWND parent);
};

}  // namespace tolvi
