// The six settings of a connector that the dialogs collect and the store keeps.
#pragma once
#include <string>

namespace tolvi {

struct ConnectorSettings {
    std::string pipeName;
    std::string portText;  // as typed; a number only where one is needed
    std::string description;
    bool allowNonLocal = false;
    bool listOnly = false;
    std::string clientList;
};

}  // namespace tolvi
