// A connector's settings as tests write them: the six of the dialogs, the console options at
// their defaults.
#pragma once
#include <string>

#include "engine/ConnectorSettings.h"

namespace tolvi::test {

inline ConnectorSettings SettingsFor(const std::string& pipe, const std::string& port,
                                     const std::string& description = "", bool nonLocal = false,
                                     bool listOnly = false, const std::string& list = "") {
    ConnectorSettings s;
    s.pipeName = pipe;
    s.portText = port;
    s.description = description;
    s.allowNonLocal = nonLocal;
    s.listOnly = listOnly;
    s.clientList = list;
    return s;
}

}  // namespace tolvi::test
