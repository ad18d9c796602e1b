// The GUI's message boxes for the connectors' alerts.
#include "app/EngineAlerts.h"

#include "ui/MessageBox.h"

namespace tolvi {

void EngineAlerts::OnAlert(const PipeConnector&, const std::string& text) {
    ui::AppMessageBox(owner_.load(), text);
}

}  // namespace tolvi
