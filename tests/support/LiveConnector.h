// A connector under test with a pipe server of its own, on a port the system chose.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "engine/PipeConnector.h"
#include "pipeserver/PipeServer.h"
#include "support/RecordingObserver.h"
#include "support/TestClient.h"

namespace tolvi::test {

struct LiveConnector {
    // pipeBuffer: the pipe server's buffers each way; small ones make it a slow peer.
    explicit LiveConnector(size_t pipeBuffer = 65536)
        : pipeName(UniquePipeName()), pipe(pipeName, pipeBuffer) {}
    // Stops the connector; a live test that raised an alert nobody expected fails here, since
    // every alert stands for a modal box in front of the user.
    ~LiveConnector();

    // Opens the pipe (unless told not to), builds the connector, opens its endpoint (on a
    // free port unless portText names one) and starts its worker, prepare having had its say
    // first. False (with a test failure) when any of it fails.
    bool Start(bool openPipe = true, const std::string& portText = "",
               const std::function<void(PipeConnector&)>& prepare = nullptr);
    // Connects client, has the pipe server take the pipe, and checks both banners and the
    // carriage return the pipe receives on opening.
    bool Attach(TestClient& client);
    // What the pipe server receives: exactly count bytes, or fewer after timeoutMs.
    std::string PipeRead(size_t count, int timeoutMs);
    // What the pipe server receives within ms.
    std::string PipeReadFor(int ms);
    bool PipeWrite(const std::string& data) { return pipe.Write(data.data(), data.size()); }

    std::string pipeName;
    tools::PipeServer pipe;
    RecordingObserver seen;     // the connector's observer, from Start on
    ConnectorSettings options;  // admission and console options that Start gives it
    bool alertsExpected = false;
    std::unique_ptr<PipeConnector> connector;
    uint16_t port = 0;
};

}  // namespace tolvi::test
