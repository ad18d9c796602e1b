// The service's connectors as it runs them: those of the machine's key, with a log file named
// by a relative path placed under the machine's program data folder (a service has no current
// folder of its own that anyone would look in).
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi::service {

// The machine's connectors: HKEY_LOCAL_MACHINE\<kMachineConnectorsKey>, in the same value
// names and formats as a user's.
extern const char kMachineConnectorsKey[];

// True for "C:\logs\vm.log", "\\server\share\vm.log", "\logs\vm.log" and "/var/log/vm.log".
bool IsAbsolutePath(const std::string& path);

// settings with each relative log file placed under folder.
std::vector<ConnectorSettings> WithLogsUnder(std::vector<ConnectorSettings> settings,
                                             const std::string& folder);

}  // namespace tolvi::service
