// "Console options" of one connector: how many clients it serves at once, the file it logs
// the console to, how much of the latest output a new client is sent first, where it listens,
// its watch port and whether it speaks Telnet. The dialog shows every option of the options
// table whose control its template holds, and checks each by the table: a new option needs
// only its row and its control.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"
#include "model/ConnectorOptions.h"
#include "ui/Dialog.h"

namespace tolvi {

class ConsoleOptionsDialog : public ui::Dialog {
  public:
    explicit ConsoleOptionsDialog(HWND parent);

    // The connector's settings: the options shown are filled from it and, after IDOK, hold
    // what the user confirmed; the rest is left as it is.
    ConnectorSettings settings;

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

  private:
    // The options whose control is in this dialog, in the table's order.
    std::vector<const ConnectorOption*> Shown() const;
    // How the user knows the option's control: the label in front of it, without its colon.
    std::string LabelOf(const ConnectorOption& option) const;
    void Browse();
};

}  // namespace tolvi
