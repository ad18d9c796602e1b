// The Add and Edit dialogs of a connector: one settings value exchanged with the controls,
// the enabling rules of the two check boxes, and the checks on confirm against the other
// rows' keys.
#pragma once
#include <string>
#include <vector>

#include "model/ConnectorValidation.h"
#include "engine/ConnectorSettings.h"
#include "ui/Dialog.h"

namespace tolvi {

class ConnectorDialog : public ui::Dialog {
  public:
    // rows are the list's pipe names and ports in order; skipRow is the edited row, or -1.
    ConnectorDialog(DialogKind kind, HWND parent, std::vector<RowKey> rows, int skipRow);

    // What the controls start from, and, after IDOK, what the user confirmed.
    ConnectorSettings settings;

  protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;
    bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

  private:
    void OnNonLocalClicked();
    void OnListOnlyClicked();
    void Confirm();

    DialogKind kind;
    std::vector<RowKey> rows;
    int skipRow;
    int pipeNameId;
    int confirmId;
};

}  // namespace tolvi
