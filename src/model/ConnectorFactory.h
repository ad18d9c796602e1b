// The one way a connector is made from its settings, and the one way one is started: the
// loader, the commands, the console host and the tests all go through here.
#pragma once
#include <memory>
#include <vector>

#include "engine/ConnectorObserver.h"
#include "engine/ConnectorSettings.h"
#include "engine/PipeConnector.h"
#include "model/ConnectorList.h"

namespace tolvi {

// A connector with its settings, admission rule and observer, not yet listening.
std::unique_ptr<PipeConnector> BuildConnector(const ConnectorSettings& settings,
                                              ConnectorObserver* observer);

// Opens the listening endpoint and, when that worked, starts the worker. False, with the
// reason in the connector's error text and status Error, when either failed.
bool StartConnector(PipeConnector& connector);

// Appends one row per stored entry, in order, and starts each whose port can be opened; one
// that cannot stays listed in Error, to be written back by the next save.
void LoadConnectors(ConnectorList& list, const std::vector<ConnectorSettings>& stored,
                    ConnectorObserver* observer);

}  // namespace tolvi
