// What any program may ask of the tolvi service without administrator rights: whether it is
// installed, the ports of its connectors, and how each of them runs now.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"
#include "service/ServiceStatus.h"

namespace tolvi::service {

bool IsServiceInstalled();

// The machine's connectors as stored (what the service runs when it runs).
std::vector<ConnectorSettings> MachineConnectors();

// The running service's connectors, from its status pipe. False, with the reason, when the
// service does not answer within timeoutMs (not running, busy, or a pipe of that name that
// another program serves).
constexpr unsigned long kStatusTimeoutMs = 5000;
struct ServiceSsh {
    int port = 0;  // 0 while the service serves no SSH
    std::string fingerprint;
    std::string json;  // the consoles as scripts read them
};
bool ReadServiceStatus(std::vector<ConnectorState>* states, std::string* problem,
                       unsigned long timeoutMs = kStatusTimeoutMs, ServiceSsh* ssh = nullptr);

}  // namespace tolvi::service
