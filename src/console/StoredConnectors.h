// The connectors stored on this machine, for the terminal console to find its connector in:
// on Windows the user's (the key tolvi.exe keeps them in) and the machine's (the service's).
#pragma once
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi::console {

struct StoredConnectors {
    bool hasStore = false;  // false where connectors are never stored (Linux)
    std::vector<ConnectorSettings> user;
    std::vector<ConnectorSettings> machine;
};

StoredConnectors LoadStoredConnectors();

}  // namespace tolvi::console
