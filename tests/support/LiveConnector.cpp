// A connector under test with a pipe server of its own.
#include "support/LiveConnector.h"

#include <gtest/gtest.h>

namespace tolvi::test {

LiveConnector::~LiveConnector() {
    connector.reset();
    if (!alertsExpected) {
        for (const std::string& alert : seen.Alerts())
            ADD_FAILURE() << "unexpected alert: " << alert;
    }
}

bool LiveConnector::Start(bool openPipe, const std::string& portText,
                          const std::function<void(PipeConnector&)>& prepare) {
    std::string error;
    if (openPipe && !pipe.Listen(&error)) {
        ADD_FAILURE() << error;
        return false;
    }
    std::string text = portText.empty() ? std::to_string(FreePort()) : portText;
    ConnectorSettings settings = options;
    settings.pipeName = pipeName;
    settings.portText = text;
    settings.description = "under test";
    connector = std::make_unique<PipeConnector>(settings);
    connector->SetObserver(&seen);
    if (prepare)
        prepare(*connector);
    if (!connector->CreateListener()) {
        ADD_FAILURE() << connector->GetErrorText();
        return false;
    }
    port = connector->GetListenPort();
    if (connector->StartWorker().Failed()) {
        ADD_FAILURE() << "no worker";
        return false;
    }
    return true;
}

bool LiveConnector::Attach(TestClient& client) {
    if (!client.Connect(port)) {
        ADD_FAILURE() << "cannot connect to port " << port;
        return false;
    }
    if (!pipe.WaitClient(5000)) {
        ADD_FAILURE() << "the connector never opened the pipe";
        return false;
    }
    std::string expected = kAttaching + kConnectedBanner;
    std::string banner = client.ReadCount(expected.size(), 5000);
    EXPECT_EQ(banner, expected);
    std::string cr = PipeRead(1, 5000);
    EXPECT_EQ(cr, "\r");
    return banner == expected && cr == "\r";
}

std::string LiveConnector::PipeRead(size_t count, int timeoutMs) {
    std::string got;
    int64_t end = NowMs() + timeoutMs;
    char buffer[65536];
    while (got.size() < count && NowMs() < end) {
        long n = pipe.Read(buffer, std::min(sizeof buffer, count - got.size()), 10);
        if (n < 0)
            break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

std::string LiveConnector::PipeReadFor(int ms) {
    std::string got;
    int64_t end = NowMs() + ms;
    char buffer[4096];
    while (NowMs() < end) {
        long n = pipe.Read(buffer, sizeof buffer, 10);
        if (n < 0)
            break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

}  // namespace tolvi::test
