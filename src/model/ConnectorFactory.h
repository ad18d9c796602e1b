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

class AuditSink;

// Where a program's connectors keep their recordings, each in a folder of its port under
// recordingsRoot ("" for nowhere), and write their audit trail (nullptr for none, or it must
// outlive them).
struct ConnectorPlaces {
    std::string recordingsRoot;
    AuditSink* audit = nullptr;
};

// The recordings folder of the connector on portText: root, then the port's number.
std::string RecordingFolderOf(const std::string& root, const std::string& portText);

// A connector with its settings, admission rule and observer, not yet listening.
std::unique_ptr<PipeConnector> BuildConnector(const ConnectorSettings& settings,
                                              ConnectorObserver* observer,
                                              const ConnectorPlaces& places = {});

// Opens the listening endpoints and, when that worked, starts the worker. False, with the
// reason in the connector's error text and status Error, when either failed.
bool StartConnector(PipeConnector& connector);

// How a connector's worker is started: its own StartWorker unless told otherwise.
using WorkerStarter = std::function<platform::SysError(PipeConnector&)>;

// The ports another program of ours serves (the tolvi service's connectors, when it is
// installed): a connector here never listens on one of them, and shows Error with the text
// that says who has it. Empty unless a program says so.
void ReserveServicePorts(std::vector<int> ports);

// The one way a connector opens its listening endpoints; predecessor as for CreateListener.
bool OpenListener(PipeConnector& connector, const PipeConnector* predecessor = nullptr);

}  // namespace tolvi
