// A connector's statuses from construction to stop and restart, what it tells its observer,
// and stops that return at once from every state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "support/LiveConnector.h"
#include "support/SocketTools.h"

namespace tolvi::test {
namespace {

// A stop ends the worker's wait at once, whatever it waits for.
constexpr int kStopLimitMs = 50;

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
    // A stop is how Reset, Edit and the program's end drop a client: the host hears of it.
    auto events = live.seen.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "left 127.0.0.1"), events.end());
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
            WaitWritable(client.Socket(), 50000);
        }
    });
    // Wait until the pipe is full: the count stops growing.
    EXPECT_TRUE(WaitUntilSteady([&] { return live.connector->GetBytesReceived(); }, 10000));
    ExpectQuickCleanStop(*live.connector);
    flooding = false;
    flood.join();
}

TEST(ConnectorLifecycle, StopWhileTheClientDoesNotRead) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port, "", 4096));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    // The console streams; the client reads nothing, so the relay waits for room to send.
    std::atomic<bool> streaming{true};
    std::thread stream([&] {
        std::string block(65536, 's');
        while (streaming && live.PipeWrite(block)) {
        }
    });
    EXPECT_TRUE(WaitUntilSteady([&] { return live.connector->GetBytesSent(); }, 10000));
    ExpectQuickCleanStop(*live.connector);
    streaming = false;
    stream.join();  // the relay's end of the pipe is closed, so the stream's write fails
}

TEST(ConnectorLifecycle, StopWhileAClientIdles) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ExpectQuickCleanStop(*live.connector);
    EXPECT_TRUE(client.WaitClosed(2000));
}

TEST(ConnectorLifecycle, TenIdleConnectorsStopTogether) {
    std::vector<std::unique_ptr<LiveConnector>> all;
    for (int i = 0; i < 10; ++i) {
        all.push_back(std::make_unique<LiveConnector>());
        ASSERT_TRUE(all.back()->Start());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int64_t start = NowMs();
    for (auto& live : all)
        live->connector->StopAndWait();
    EXPECT_LT(NowMs() - start, 10 * kStopLimitMs);
    for (auto& live : all)
        EXPECT_EQ(live->connector->GetStatus(), Ready);
}

TEST(ConnectorLifecycle, ObserverHearsEveryChangeInOrder) {
    LiveConnector live;
    RecordingObserver& seen = live.seen;
    ASSERT_TRUE(live.Start());

    // A first client, a second one queued behind it, and the first leaving: the queued one is
    // taken over at once, and each step is told, none merged away.
    TestClient first, second;
    ASSERT_TRUE(live.Attach(first));
    ASSERT_TRUE(second.Connect(live.port));
    first.Close();
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto e = seen.Events();
            return std::find(e.begin(), e.end(), "left 127.0.0.1") != e.end();
        },
        2000));
    live.pipe.DropClient();
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string expected = kAttaching + kConnectedBanner;
    EXPECT_EQ(second.ReadCount(expected.size(), 5000), expected);
    second.Close();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 2000));
    live.connector->StopAndWait();

    const std::vector<std::string> turn = {"arrived 127.0.0.1", "status Attaching Pipe",
                                           "pipe attached",     "status Connected",
                                           "left 127.0.0.1",    "status Ready"};
    std::vector<std::string> want = {"status Ready"};  // the listener is open
    want.insert(want.end(), turn.begin(), turn.end());
    want.insert(want.end(), turn.begin(), turn.end());
    EXPECT_EQ(seen.Events(), want);
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
    ASSERT_TRUE(c.CreateListener(&c));  // as a reset does: it keeps its own endpoint
    EXPECT_EQ(c.GetStatus(), Ready);
    uint16_t port = c.GetListenPort();
    ASSERT_EQ(c.StartWorker().Failed(), false);
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

#ifndef _WIN32
// A host that stops a connector from its own worker (which it must not) is told so in one
// line that names the call that failed; the worker ends all the same. (Windows would wait for
// ever there, as a thread waiting for itself does.)
TEST(ConnectorLifecycle, AStopThatCannotBeAwaitedIsToldInOneLine) {
    struct StopsFromTheWorker : RecordingObserver {
        void OnClientArrived(const PipeConnector& c, const std::string& a) override {
            RecordingObserver::OnClientArrived(c, a);
            const_cast<PipeConnector&>(c).StopAndWait();
        }
    } observer;
    LiveConnector live;
    live.alertsExpected = true;
    ASSERT_TRUE(live.Start());
    live.connector->SetObserver(&observer);
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_TRUE(client.WaitClosed(3000));
    ASSERT_TRUE(WaitUntil([&] { return !observer.Alerts().empty(); }, 3000));
    EXPECT_EQ(observer.Alerts()[0], "pthread_join failed with error " + std::to_string(EDEADLK));
    live.connector.reset();
}

// Alert commands that hang: four at most at once, the next one skipped and said; none holds
// a descriptor of the program (its listener among them); all end with their connector.
TEST(ConnectorLifecycle, AlertCommandsAreBoundedInheritNothingAndEndWithTheirConnector) {
    const std::string pids = "/tmp/tolvi-commands-" + std::to_string(getpid());
    std::remove(pids.c_str());
    LiveConnector live;
    live.options.alerts = "one\ntwo\nthree\nfour\nfive";
    live.options.alertCommand = "sh -c 'echo $$ >> " + pids + "; exec sleep 30'";
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(live.PipeWrite("one\ntwo\nthree\nfour\n"));
    std::vector<int> started;
    auto readPids = [&] {
        started.clear();
        std::ifstream in(pids);
        for (int pid; in >> pid;)
            started.push_back(pid);
        return started.size();
    };
    ASSERT_TRUE(WaitUntil([&] { return readPids() == 4; }, 5000));
    ASSERT_TRUE(live.PipeWrite("five\n"));
    const std::string skipped = "error Alert command " + live.options.alertCommand +
                                " not started: 4 of its commands still run";
    EXPECT_TRUE(WaitUntil(
        [&] {
            auto e = live.seen.Events();
            return std::find(e.begin(), e.end(), skipped) != e.end();
        },
        5000));
    for (int pid : started) {
        int descriptors = 0;
        if (DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
            while (dirent* entry = readdir(fds))
                descriptors += entry->d_name[0] != '.';
            closedir(fds);
        }
        EXPECT_EQ(descriptors, 3) << "command " << pid;
    }
    live.connector->StopAndWait();
    for (int pid : started)
        EXPECT_NE(kill(pid, 0), 0) << "command " << pid << " outlived its connector";
    EXPECT_EQ(readPids(), 4u);
    std::remove(pids.c_str());
}
#endif

}  // namespace
}  // namespace tolvi::test
