// The Add and Edit dialogs of a connector: the six settings, the enabling rules of the two
// check boxes, and the checks on confirm.
#pragma once
#include <string>

#include "config/ConnectorSettings.h"
#include "dialogs/ConnectorValidation.h"
#include "ui/Dialog.h"

namespace tolvi {

class ConnectorView;

class ConnectorDialog : public ui::Dialog {
  public:
    std::string pipeName;
    std::string portText;
    std::string description;
    std::string clientList;
    bool allowNonLocal = false;
    bool listOnly = false;

    ConnectorSettings Settings() const;
    void SetSettings(const ConnectorSettings& s);

  protected:
    ConnectorDialog(DialogKind kind, ConnectorView& connectorList);
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

  private:
    void OnNonLocalClicked();
    void OnListOnlyClicked();
    void Confirm();
    std::string FieldText(int id) const;

    DialogKind kind;
    ConnectorView& connectorList;
    int pipeNameId;
    int confirmId;
};

// "Add pipe connector": template 106, pipe name field 1007, "&Add" 1010.
class AddConnectorDialog : public ConnectorDialog {
  public:
    explicit AddConnectorDialog(ConnectorView& connectorList);
};

// "Edit pipe connector": template 107, pipe name field 1018, "&Save" 1019.
class EditConnectorDialog : public ConnectorDialog {
  public:
    explicit EditConnectorDialog(ConnectorView& connectorList);
};

}  // namespace tolvi
