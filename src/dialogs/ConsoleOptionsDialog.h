// "Console options" of one connector: how many clients it serves at once, the file it logs
// the console to, and how much of the latest output a new client is sent first.
#pragma once
#include "engine/ConnectorSettings.h"
#include "ui/Dialog.h"

namespace tolvi {

class ConsoleOptionsDialog : public ui::Dialog {
  public:
    explicit ConsoleOptionsDialog(HWND parent);

    // The connector's settings: the three options are shown and, after IDOK, hold what the
    // user confirmed; the rest is left as it is.
    ConnectorSettings settings;

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

  private:
    void Browse();
};

}  // namespace tolvi
