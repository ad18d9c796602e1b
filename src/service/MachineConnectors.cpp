// The service's connectors.
#include "service/MachineConnectors.h"

namespace tolvi::service {

const char kMachineConnectorsKey[] = "SOFTWARE\\tolvi\\Connectors";

bool IsAbsolutePath(const std::string& path) {
    if (path.empty())
        return false;
    if (path[0] == '\\' || path[0] == '/')
        return true;
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return letter && path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

std::vector<ConnectorSettings> WithLogsUnder(std::vector<ConnectorSettings> settings,
                                             const std::string& folder) {
    for (ConnectorSettings& s : settings) {
        if (!s.logFile.empty() && !IsAbsolutePath(s.logFile))
            s.logFile = folder + "\\" + s.logFile;
    }
    return settings;
}

}  // namespace tolvi::service
