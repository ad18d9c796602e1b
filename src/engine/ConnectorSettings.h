// The settings of a connector that the dialogs collect and the store keeps: the six of the
// connector dialogs, and the console options, whose defaults leave a connector as it always was.
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
    // Console options.
    int maxClients = 1;   // clients served at once, 1 to 16
    std::string logFile;  // where everything the pipe sends is appended; "" for no log
    int replayKiB = 0;    // how much of the latest output a new client is sent first, 0 to 1024
};

constexpr int kMaxClientsLimit = 16;
constexpr int kReplayKiBLimit = 1024;

}  // namespace tolvi
