// Building and starting connectors.
#include "model/ConnectorFactory.h"

#include <algorithm>
#include <mutex>

#include "engine/Format.h"
#include "engine/PortText.h"
#include "platform/Folder.h"

namespace tolvi {

std::string RecordingFolderOf(const std::string& root, const std::string& portText) {
    if (root.empty())
        return "";
    int port = TextToInt(portText);
    return port > 0 ? platform::JoinPath(root, std::to_string(port)) : "";
}

std::unique_ptr<PipeConnector> BuildConnector(const ConnectorSettings& settings,
                                              ConnectorObserver* observer,
                                              const ConnectorPlaces& places) {
    auto connector = std::make_unique<PipeConnector>(settings);
    connector->SetObserver(observer);
    connector->SetAudit(places.audit);
    connector->SetRecordingFolder(RecordingFolderOf(places.recordingsRoot, settings.portText));
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
