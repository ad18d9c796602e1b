// Building and starting connectors.
#include "model/ConnectorFactory.h"

namespace tolvi {

std::unique_ptr<PipeConnector> BuildConnector(const ConnectorSettings& settings,
                                              ConnectorObserver* observer) {
    auto connector = std::make_unique<PipeConnector>(settings);
    connector->SetObserver(observer);
    return connector;
}

bool StartConnector(PipeConnector& connector) {
    if (!connector.CreateListener())
        return false;
    return connector.StartWorker() == 0;
}

void LoadConnectors(ConnectorList& list, const std::vector<ConnectorSettings>& stored,
                    ConnectorObserver* observer) {
    for (const ConnectorSettings& settings : stored) {
        int row = list.Append(BuildConnector(settings, observer));
        if (row >= 0)
            StartConnector(list.At(row));
    }
}

}  // namespace tolvi
