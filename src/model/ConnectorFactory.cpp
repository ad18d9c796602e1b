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

std::vector<StartFailure> LoadConnectors(ConnectorList& list,
                                         const std::vector<ConnectorSettings>& stored,
                                         ConnectorObserver* observer, const WorkerStarter& start) {
    std::vector<StartFailure> failures;
    for (const ConnectorSettings& settings : stored) {
        int row = list.Append(BuildConnector(settings, observer));
        if (row < 0)
            continue;
        PipeConnector& connector = list.At(row);
        if (!connector.CreateListener())
            continue;  // its row shows Error, as a port taken by another program does
        uint32_t error = start ? start(connector) : connector.StartWorker();
        if (error != 0)
            failures.push_back(StartFailure{row, error});
    }
    return failures;
}

}  // namespace tolvi
