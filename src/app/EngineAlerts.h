// What the connectors tell the GUI: the failures a user must see, as message boxes owned by
// the main window (disabled while one is up). The worker that raised one waits until it is
// closed. Everything else the list shows at its next refresh.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "engine/ConnectorObserver.h"

namespace tolvi {

class EngineAlerts : public ConnectorObserver {
  public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void OnAlert(const PipeConnector& connector, const std::string& text) override;

  private:
    std::atomic<HWND> owner_{nullptr};
};

}  // namespace tolvi
