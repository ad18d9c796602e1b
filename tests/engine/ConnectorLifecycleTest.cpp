// A connector's statuses from construction to stop and restart, and stops that return in
// time from every state.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

constexpr int kStopLimitMs = 1000;

// Stops the connector and checks that it took less than kStopLimitMs and left no client.
void ExpectQuickCleanStop(PipeConnector& c) {
    int64_t start = NowMs();
    c.StopAndWait();
    EXPECT_LT(NowMs() - start, kStopLimitMs);
    EXPECT_EQ(c.GetStatus(), Ready);
    EXPECT_EQ(c.GetClientAddress(), "");
    EXPECT_EQ(c.GetBytesSent(), 0);
    EXPECT_EQ(c.GetBytesReceived(), 0);
}

TEST(ConnectorLifecycle, NewConnectorIsInitializingAndStopsAtOnce) {
    PipeConnector c(UniquePipeName(), "2323", "d");
    EXPECT_EQ(c.GetStatus(), Initialization);
    EXPECT_EQ(c.GetErrorText(), "");
    EXPECT_EQ(c.GetPortText(), "2323");
    EXPECT_EQ(c.GetDescription(), "d");
    int64_t start = NowMs();
    c.StopAndWait();  // no worker has ever run
    EXPECT_LT(NowMs() - start, 100);
}

TEST(ConnectorLifecycle, StopWhileWaitingForAClient) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    EXPECT_EQ(live.connector->GetStatus(), Ready);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ExpectQuickCleanStop(*live.connector);
}

TEST(ConnectorLifecycle, StopWhileServingAClientClosesClientAndPipe) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    ASSERT_TRUE(live.PipeWrite("hello"));
    EXPECT_EQ(client.ReadCount(5, 3000), "hello");
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == 5; }, 2000));
    ExpectQuickCleanStop(*live.connector);
    EXPECT_TRUE(client.WaitClosed(2000));
    EXPECT_EQ(live.PipeRead(1, 2000), "");  // the pipe's client has gone
}

TEST(ConnectorLifecycle, StopWhileAttachingThePipe) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(/*openPipe=*/false));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_EQ(client.ReadFor(700), kAttaching);  // and nothing else while the pipe is missing
    EXPECT_EQ(live.connector->GetStatus(), AttachingPipe);
    EXPECT_EQ(live.connector->GetClientAddress(), "127.0.0.1");
    ExpectQuickCleanStop(*live.connector);
    EXPECT_TRUE(client.WaitClosed(2000));
}

TEST(ConnectorLifecycle, StopWhileThePipeServerDoesNotRead) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    // The client floods; the pipe server reads nothing, so the relay's pipe write blocks.
    std::atomic<bool> flooding{true};
    ASSERT_FALSE(client.Socket().SetNonBlocking().Failed());
    std::thread flood([&] {
        std::string block(65536, 'x');
        while (flooding) {
            platform::IoResult r = client.Socket().Send(block.data(), block.size());
            if (r.count < 0 && !r.error.Is(platform::ErrorKind::WouldBlock))
                break;
            client.Socket().WaitWritable(50000);
        }
    });
    // Wait until the pipe is full: the count stops growing.
    int64_t last = -1;
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            int64_t now = live.connector->GetBytesReceived();
            bool still = now == last && now > 0;
            last = now;
            return still;
        },
        10000));
    int64_t start = NowMs();
    live.connector->StopAndWait();
    EXPECT_LT(NowMs() - start, 1500);
    EXPECT_EQ(live.connector->GetStatus(), Ready);
    flooding = false;
    flood.join();
}

TEST(ConnectorLifecycle, StopBeforeTheWorkerHasBegun) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    live.connector->StopAndWait();
    // Started and stopped at once, over and over: every stop returns, none hangs.
    for (int i = 0; i < 20; ++i) {
        live.connector->StartWorker();
        ExpectQuickCleanStop(*live.connector);
    }
}

TEST(ConnectorLifecycle, ResetServesClientsAgain) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    PipeConnector& c = *live.connector;
    c.StopAndWait();
    ASSERT_TRUE(c.CreateListener());  // closes the old endpoint and opens a new one
    EXPECT_EQ(c.GetStatus(), Ready);
    uint16_t port = c.GetListenPort();
    ASSERT_EQ(c.StartWorker(), 0u);
    live.port = port;
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    EXPECT_EQ(c.GetStatus(), Connected);
    ExpectQuickCleanStop(c);
}

TEST(ConnectorLifecycle, DestroyingARunningConnectorStopsItsWorker) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    int64_t start = NowMs();
    live.connector.reset();
    EXPECT_LT(NowMs() - start, kStopLimitMs);
    EXPECT_TRUE(client.WaitClosed(2000));
}

}  // namespace
}  // namespace tolvi::test
