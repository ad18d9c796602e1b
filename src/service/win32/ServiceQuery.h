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
// service does not answer (not running, or busy for longer than a moment).
bool ReadServiceStatus(std::vector<ConnectorState>* states, std::string* problem);

}  // namespace tolvi::service
