// The consoles of a program as scripts read them: JSON, one object per connector with where
// it listens, its clients, its counts and its last alert. The web console's /api/consoles
// and `tolvi-relay service status --json` answer with it.
#pragma once
#include <string>

#include "model/ConnectorList.h"

namespace tolvi {

// From any thread. Without consoleText, what the consoles printed (an alert's line) is left
// out: the service's status pipe gives it to administrators alone.
std::string ConsolesJson(const ConnectorList& connectors, bool consoleText = true);

// A time as JSON gives it: "2026-12-09T15:41:07.318Z", in UTC.
std::string JsonTime(std::chrono::system_clock::time_point at);

}  // namespace tolvi
