// Building and starting connectors.
#include "model/ConnectorFactory.h"

#include <algorithm>
#include <mutex>

#include "engine/Format.h"
#include "engine/PortText.h"

namespace tolvi {

std::unique_ptr<PipeConnector> BuildConnector(const ConnectorSettings& settings,
                                              ConnectorObserver* observer) {
    auto connector = std::make_unique<PipeConnector>(settings);
    connector->SetObserver(observer);
    return connector;
}

namespace {
std::mutex reservedLock;
std::vector<int> reservedPorts;
}  // namespace

void ReserveServicePorts(std::vector<int> ports) {
    std::lock_guard<std::mutex> hold(reservedLock);
    reservedPorts = std::move(ports);
}

bool OpenListener(PipeConnector& connector, const PipeConnector* predecessor) {
    const ConnectorSettings& s = connector.Settings();
    {
        std::lock_guard<std::mutex> hold(reservedLock);
        for (int port : {TextToInt(s.portText), s.watchPort}) {
            if (port > 0 && std::find(reservedPorts.begin(), reservedPorts.end(), port) !=
                                reservedPorts.end()) {
                // The two would fight for the port, and the service starts first at boot.
                return connector.FailToListen(
                    Format("Port %d is served by the tolvi service", port));
            }
        }
    }
    return connector.CreateListener(predecessor);
}

bool StartConnector(PipeConnector& connector) {
    if (!OpenListener(connector))
        return false;
    return !connector.StartWorker().Failed();
}

}  // namespace tolvi
