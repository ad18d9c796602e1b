// The one way a connector is made from its settings, and the one way one is started: the
// loader, the commands, the console host and the tests all go through here.
#pragma once
#include <cstdint>
#include <functional>
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

// A worker that could not be started while loading: its row, and the system's error code.
struct StartFailure {
    int row;
    uint32_t error;
};

// How a loaded connector's worker is started: its own StartWorker unless told otherwise.
using WorkerStarter = std::function<uint32_t(PipeConnector&)>;

// Appends one row per stored entry, in order, and starts each whose port can be opened; one
// that cannot stays listed in Error, to be written back by the next save. Returns the rows
// whose worker could not be started (in Error too), for the caller to tell the user.
std::vector<StartFailure> LoadConnectors(ConnectorList& list,
                                         const std::vector<ConnectorSettings>& stored,
                                         ConnectorObserver* observer,
                                         const WorkerStarter& start = nullptr);

}  // namespace tolvi
