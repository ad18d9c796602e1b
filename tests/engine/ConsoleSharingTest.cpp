// Several clients on one console: each gets all the console prints, what each types reaches
// the console once, one beyond the limit is told the console is busy, and one that stops
// reading is let go with a last line while the others go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

using std::chrono::milliseconds;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kStreamBytes = 16u << 20;
#else
constexpr size_t kStreamBytes = 64u << 20;
#endif

uint8_t StreamAt(size_t i) {
    return static_cast<uint8_t>((i * 131 + i / 4099) % 256);
}

// Writes the stream to the pipe in blocks, from a thread of its own.
std::thread StreamToPipe(LiveConnector& live, size_t total) {
    return std::thread([&live, total] {
        std::string block(256 * 1024, '\0');
        for (size_t sent = 0; sent < total; sent += block.size()) {
            size_t n = std::min(block.size(), total - sent);
            for (size_t i = 0; i < n; ++i)
                block[i] = static_cast<char>(StreamAt(sent + i));
            if (!live.pipe.Write(block.data(), n))
                return;
        }
    });
}

// Reads a client's share of the stream and checks every byte; returns how many were right.
size_t ReadStream(TestClient& client, size_t total, int timeoutMs) {
    TelnetDecoder telnet;
    size_t checked = 0;
    int64_t end = NowMs() + timeoutMs;
    while (checked < total && NowMs() < end) {
        std::string data = telnet.Feed(client.ReadFor(20));
        for (char c : data) {
            if (static_cast<uint8_t>(c) != StreamAt(checked))
                return checked;
            ++checked;
        }
        if (data.empty() && client.WaitClosed(0))
            break;
    }
    return checked;
}

std::string Banner() {
    return kAttaching + kConnectedBanner;
}

// Two clients on a connector for two, both through their banners.
void ConnectTwo(LiveConnector& live, TestClient& a, TestClient& b) {
    ASSERT_TRUE(a.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_EQ(a.ReadCount(Banner().size(), 5000), Banner());
    ASSERT_TRUE(b.Connect(live.port));
    ASSERT_EQ(b.ReadCount(Banner().size(), 5000), Banner());
}

TEST(ConsoleSharing, EveryClientGetsTheWholeStreamAndOneTooManyIsTurnedAway) {
    LiveConnector live;
    live.options.maxClients = 3;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient clients[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(clients[i].Connect(live.port));
        if (i == 0) {
            ASSERT_TRUE(live.pipe.WaitClient(5000));
        }
        EXPECT_EQ(clients[i].ReadCount(Banner().size(), 5000), Banner()) << i;
    }
    EXPECT_EQ(live.PipeReadFor(300), "\r");  // the console hears of the first client only
    EXPECT_TRUE(
        WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1 +2"; }, 2000))
        << live.connector->GetClientAddress();

    TestClient fourth;
    ASSERT_TRUE(fourth.Connect(live.port));
    std::string busy = "*** Console " + live.pipeName + " is busy: 3 clients connected\r\n";
    EXPECT_EQ(fourth.ReadUntil("\n", 3000), busy);
    EXPECT_TRUE(fourth.WaitClosed(3000));
    auto events = live.seen.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "busy 127.0.0.1"), events.end());

    std::thread writer = StreamToPipe(live, kStreamBytes);
    size_t got[3] = {};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&, i] { got[i] = ReadStream(clients[i], kStreamBytes, 120000); });
    for (auto& r : readers)
        r.join();
    writer.join();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(got[i], kStreamBytes) << "client " << i;
    // Sent counts what the console sent once, not once per client.
    EXPECT_TRUE(WaitUntil(
        [&] { return live.connector->GetBytesSent() == static_cast<int64_t>(kStreamBytes); }, 3000))
        << live.connector->GetBytesSent();
}

TEST(ConsoleSharing, AClientThatStopsReadingIsLetGoAndTheOthersFinish) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.notices = false;  // the console's bytes alone
    live.options.allowNonLocal = true;  // the one that stalls comes from 127.0.0.2
    ASSERT_TRUE(live.Start());
    TestClient reader, stalled;
    ASSERT_TRUE(reader.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_EQ(reader.ReadCount(Banner().size(), 5000), Banner());
    ASSERT_TRUE(stalled.Connect(live.port, "127.0.0.2", 4096));
    ASSERT_TRUE(
        WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1 +1"; }, 3000));

    const size_t total = kStreamBytes / 2;
    std::thread writer = StreamToPipe(live, total);
    // The stalled client drains what reached it only once it has been let go, in time to
    // read its last line.
    std::string stalledTail;
    std::thread drain([&] {
        auto letGo = [&] {
            for (const std::string& e : live.seen.Events()) {
                if (e == "left 127.0.0.2")
                    return true;
            }
            return false;
        };
        if (!WaitUntil(letGo, 60000))
            return;
        std::string all;
        int64_t end = NowMs() + 20000;
        while (!stalled.WaitClosed(0) && NowMs() < end)
            all += stalled.ReadFor(50);
        stalledTail = all.size() > 64 ? all.substr(all.size() - 64) : all;
    });
    int64_t start = NowMs();
    size_t got = ReadStream(reader, total, 120000);
    int64_t took = NowMs() - start;
    writer.join();
    drain.join();
    EXPECT_EQ(got, total);
    EXPECT_LT(took, 60000);
    const std::string last = "*** Disconnected: too slow\r\n";
    ASSERT_GE(stalledTail.size(), last.size());
    EXPECT_EQ(stalledTail.substr(stalledTail.size() - last.size()), last);
    EXPECT_EQ(live.connector->GetClientAddress(), "127.0.0.1");
}

TEST(ConsoleSharing, WhatEachClientTypesReachesTheConsoleOnce) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient a, b;
    ConnectTwo(live, a, b);
    ASSERT_EQ(live.PipeRead(1, 3000), "\r");

    const size_t each = 200000;
    std::thread ta([&] { a.Send(std::string(each, 'a')); });
    std::thread tb([&] { b.Send(std::string(each, 'b')); });
    std::string arrived = live.PipeRead(2 * each, 30000);
    ta.join();
    tb.join();
    EXPECT_EQ(arrived.size(), 2 * each);
    EXPECT_EQ(std::count(arrived.begin(), arrived.end(), 'a'), static_cast<long>(each));
    EXPECT_EQ(std::count(arrived.begin(), arrived.end(), 'b'), static_cast<long>(each));
    EXPECT_EQ(live.PipeReadFor(200), "");
    EXPECT_TRUE(WaitUntil(
        [&] { return live.connector->GetBytesReceived() == static_cast<int64_t>(2 * each); },
        2000));
    // Each has a Telnet state of its own: a request split between them is no request.
    ASSERT_TRUE(a.Send("\xff"));
    ASSERT_TRUE(
        b.Send("\xfd\x18"
               "x"));
    EXPECT_EQ(live.PipeRead(3, 3000),
              "\xfd\x18"
              "x");
    EXPECT_EQ(a.ReadFor(200), "");
}

// How long a key or a new client may wait while the console prints without pause; the
// sanitizers slow every pass several times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int64_t kTurnLimitMs = 500;
#else
constexpr int64_t kTurnLimitMs = 100;
#endif

// A console that prints without pause to clients that read as fast as they can.
struct Flood {
    Flood(LiveConnector& live, std::vector<TestClient>& readers)
        : writer([&live, this] {
              std::string block(64 * 1024, 'p');
              while (!done && live.pipe.Write(block.data(), block.size())) {
              }
          }),
          drain([&readers, this] {
              while (!stopReading) {
                  for (TestClient& r : readers)
                      r.ReadFor(1);
              }
          }) {}
    ~Flood() {
        done = true;
        writer.join();  // its last block needs the readers still reading
        stopReading = true;
        drain.join();
    }
    std::atomic<bool> done{false}, stopReading{false};
    std::thread writer, drain;
};

TEST(ConsoleSharing, AKeyAndANewClientGetTheirTurnWhileTheConsolePrintsWithoutPause) {
    LiveConnector live;
    live.options.maxClients = 16;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    // Fourteen clients read the console; the typist comes last, behind them all.
    std::vector<TestClient> readers(15);
    for (size_t i = 0; i < readers.size(); ++i) {
        ASSERT_TRUE(readers[i].Connect(live.port));
        if (i == 0) {
            ASSERT_TRUE(live.pipe.WaitClient(5000));
        }
        ASSERT_EQ(readers[i].ReadCount(Banner().size(), 5000), Banner())
            << "reader " << i << ", connector has " << live.connector->GetClientAddress();
    }
    TestClient& typist = readers.back();
    ASSERT_EQ(live.PipeRead(1, 3000), "\r");
    {
        Flood flood(live, readers);
        std::this_thread::sleep_for(milliseconds(300));
        int64_t start = NowMs();
        ASSERT_TRUE(typist.Send("\x03"));
        EXPECT_EQ(live.PipeRead(1, 3000), "\x03");
        EXPECT_LE(NowMs() - start, kTurnLimitMs) << "a key waited behind the console's output";

        TestClient newcomer;
        start = NowMs();
        ASSERT_TRUE(newcomer.Connect(live.port));
        EXPECT_EQ(newcomer.ReadCount(Banner().size(), 3000), Banner());
        EXPECT_LE(NowMs() - start, kTurnLimitMs) << "a new client waited to be accepted";
        newcomer.Close();
    }
}

TEST(ConsoleSharing, AClientFarBehindCanStillType) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient reader, lagging;
    ASSERT_TRUE(reader.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_EQ(reader.ReadCount(Banner().size(), 5000), Banner());
    ASSERT_TRUE(lagging.Connect(live.port, "", 4096));
    ASSERT_TRUE(
        WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1 +1"; }, 3000));
    ASSERT_EQ(live.PipeRead(1, 3000), "\r");
    // Output the lagging client does not read. The loopback connection takes up to 4 MiB of
    // it (Linux's largest send buffer); what is left waits in the relay's queue for that
    // client: far more than its Telnet answers may take, less than would get it let go.
    std::string output(5u << 20, 'o');
    std::thread read([&] { reader.ReadCount(output.size(), 20000); });
    ASSERT_TRUE(live.PipeWrite(output));
    read.join();
    int64_t start = NowMs();
    ASSERT_TRUE(lagging.Send("\x03"));
    EXPECT_EQ(live.PipeRead(1, 3000), "\x03");
    EXPECT_LE(NowMs() - start, kTurnLimitMs) << "Ctrl-C waited for the output to be read";
}

TEST(ConsoleSharing, AWatcherSeesTheConsoleButCannotType) {
    LiveConnector live;
    live.options.replayKiB = 1;
    live.options.watchPort = FreePort();
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));  // kept open for the replay
    ASSERT_TRUE(live.PipeWrite("before\r\n"));
    std::this_thread::sleep_for(milliseconds(200));
    TestClient typist, watcher;
    ASSERT_TRUE(typist.Connect(live.port));
    EXPECT_EQ(typist.ReadCount(Banner().size() + 8, 5000), Banner() + "before\r\n");
    ASSERT_EQ(live.PipeRead(1, 3000), "\r");
    ASSERT_TRUE(watcher.Connect(static_cast<uint16_t>(live.options.watchPort)));
    EXPECT_EQ(watcher.ReadCount(Banner().size() + 8, 5000), Banner() + "before\r\n");
    EXPECT_TRUE(WaitUntil(
        [&] { return live.connector->GetClientAddress() == "127.0.0.1, 1 watching"; }, 3000))
        << live.connector->GetClientAddress();
    // What the watcher types goes nowhere, though its Telnet is answered.
    ASSERT_TRUE(watcher.Send("rm -rf /" + Bytes({255, 253, 24})));
    EXPECT_EQ(watcher.ReadCount(3, 3000), Bytes({255, 252, 24}));
    ASSERT_TRUE(typist.Send("ls"));
    EXPECT_EQ(live.PipeRead(2, 3000), "ls");
    EXPECT_EQ(live.PipeReadFor(200), "");
    ASSERT_TRUE(live.PipeWrite("after"));
    EXPECT_EQ(typist.ReadCount(5, 3000), "after");
    EXPECT_EQ(watcher.ReadCount(5, 3000), "after");
}

TEST(ConsoleSharing, AOneClientConsoleServesATypistAfterItsWatchersAndNamesThemWhenFull) {
    LiveConnector live;
    live.options.watchPort = FreePort();
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    const auto watchPort = static_cast<uint16_t>(live.options.watchPort);
    std::vector<TestClient> watchers(kMaxWatchers);
    for (size_t i = 0; i < watchers.size(); ++i) {
        // One at a time: the listener's backlog is small, and a full one costs a second.
        ASSERT_TRUE(watchers[i].Connect(watchPort));
        std::string shown = std::to_string(i + 1) + " watching";
        ASSERT_TRUE(WaitUntil([&] { return live.connector->GetClientAddress() == shown; }, 3000))
            << live.connector->GetClientAddress();
    }
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    TestClient one, tooMany;
    ASSERT_TRUE(tooMany.Connect(watchPort));
    EXPECT_EQ(tooMany.ReadUntil("\n", 3000),
              "*** Console " + live.pipeName + " is busy: 16 watchers connected\r\n");
    // The watchers take no place of the typist's.
    ASSERT_TRUE(one.Connect(live.port));
    EXPECT_EQ(one.ReadCount(Banner().size(), 5000), Banner());
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
}

// A shared console's clients from addresses of their own, so that each is named apart.
std::string Joined(const std::string& who) {
    return "\r\n*** " + who + " joined\r\n";
}

TEST(ConsoleSharing, ClientsOfASharedConsoleHearOfEachOtherAndTheConsoleDoesNot) {
    LiveConnector live;
    live.options.maxClients = 3;
    live.options.allowNonLocal = true;
    live.options.watchPort = FreePort();
    ASSERT_TRUE(live.Start());
    TestClient a, b, c, w;
    ASSERT_TRUE(a.Connect(live.port, "127.0.0.2"));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_EQ(a.ReadCount(Banner().size(), 5000), Banner());
    ASSERT_EQ(live.PipeRead(1, 3000), "\r");
    ASSERT_TRUE(b.Connect(live.port, "127.0.0.3"));
    ASSERT_EQ(b.ReadCount(Banner().size(), 5000), Banner());
    EXPECT_EQ(a.ReadCount(Joined("127.0.0.3").size(), 3000), Joined("127.0.0.3"));
    ASSERT_TRUE(c.Connect(live.port, "127.0.0.4"));
    ASSERT_EQ(c.ReadCount(Banner().size(), 5000), Banner());
    ASSERT_TRUE(w.Connect(static_cast<uint16_t>(live.options.watchPort), "127.0.0.5"));
    ASSERT_EQ(w.ReadCount(Banner().size(), 5000), Banner());
    const std::string later = Joined("127.0.0.4") + Joined("127.0.0.5 (watching)");
    EXPECT_EQ(a.ReadCount(later.size(), 3000), later);
    EXPECT_EQ(b.ReadCount(later.size(), 3000), later);
    EXPECT_EQ(c.ReadCount(Joined("127.0.0.5 (watching)").size(), 3000),
              Joined("127.0.0.5 (watching)"));
    b.Close();
    const std::string left = "\r\n*** 127.0.0.3 left\r\n";
    for (TestClient* other : {&a, &c, &w})
        EXPECT_EQ(other->ReadCount(left.size(), 3000), left);
    // The console itself hears of nobody: one carriage return for its first user, no more.
    EXPECT_EQ(live.PipeReadFor(300), "");
    ASSERT_TRUE(live.PipeWrite("$ "));
    EXPECT_EQ(a.ReadCount(2, 3000), "$ ");
}

TEST(ConsoleSharing, ARawOrQuietConsoleCarriesNoNotice) {
    for (bool raw : {true, false}) {
        LiveConnector live;
        live.options.maxClients = 2;
        live.options.telnet = !raw;
        live.options.notices = raw;  // the raw one would, were it not raw
        ASSERT_TRUE(live.Start());
        TestClient a, b;
        ASSERT_TRUE(a.Connect(live.port));
        ASSERT_TRUE(live.pipe.WaitClient(5000));
        if (!raw) {
            ASSERT_EQ(a.ReadCount(Banner().size(), 5000), Banner());
        }
        ASSERT_TRUE(b.Connect(live.port));
        ASSERT_TRUE(WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1 +1"; },
                              3000));
        b.Close();
        ASSERT_TRUE(WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1"; },
                              3000));
        EXPECT_EQ(a.ReadFor(300), "") << (raw ? "raw" : "without notices");
    }
}

TEST(ConsoleSharing, TakingTheConsoleEndsTheOtherTypistsAndKeepsTheWatchers) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.watchPort = FreePort();
    ASSERT_TRUE(live.Start());
    TestClient a, b, w;
    ConnectTwo(live, a, b);
    ASSERT_TRUE(w.Connect(static_cast<uint16_t>(live.options.watchPort)));
    ASSERT_EQ(w.ReadCount(Banner().size(), 5000), Banner());
    for (TestClient* typist : {&a, &b})
        typist->ReadFor(200);  // the joined lines
    platform::TcpSocket ours, theirs;
    ASSERT_FALSE(platform::ConnectedPair(&ours, &theirs).Failed());
    ASSERT_TRUE(live.connector->AddClient(std::move(ours),
                                          HostedClient{"boss 10.0.0.9", ClientKind::Ssh, false, true, ""}));
    const std::string took = "\r\n*** boss 10.0.0.9 took the console\r\n";
    for (TestClient* typist : {&a, &b}) {
        EXPECT_EQ(typist->ReadCount(took.size(), 3000), took);
        EXPECT_TRUE(typist->WaitClosed(3000));
    }
    EXPECT_NE(w.ReadUntil(took, 3000).find(took), std::string::npos);
    EXPECT_FALSE(w.WaitClosed(300));
    ASSERT_TRUE(WaitUntil(
        [&] { return live.connector->GetClientAddress() == "boss 10.0.0.9, 1 watching"; }, 3000))
        << live.connector->GetClientAddress();
    // Who is on, for whoever asks "are you there?".
    ASSERT_TRUE(w.Send(Bytes({255, 246})));
    std::string who = w.ReadUntil("watching since", 3000);
    EXPECT_NE(who.find("***   boss 10.0.0.9  SSH, typing since "), std::string::npos) << who;
    EXPECT_NE(who.find("***   127.0.0.1  watch port, watching since "), std::string::npos) << who;
}

TEST(ConsoleSharing, WhoTakesAConsoleOfNoWatchersGetsItWithoutItsPipeOpenedAgain) {
    LiveConnector live;
    live.options.maxClients = 2;
    ASSERT_TRUE(live.Start());
    TestClient a, b;
    ConnectTwo(live, a, b);
    live.PipeReadFor(200);  // the carriage return on opening
    platform::TcpSocket ours, theirs;
    ASSERT_FALSE(platform::ConnectedPair(&ours, &theirs).Failed());
    ASSERT_TRUE(live.connector->AddClient(std::move(ours),
                                          HostedClient{"boss 10.0.0.9", ClientKind::Ssh, false, true, ""}));
    EXPECT_TRUE(a.WaitClosed(3000));
    EXPECT_TRUE(b.WaitClosed(3000));
    ASSERT_TRUE(WaitUntil([&] { return live.connector->GetClientAddress() == "boss 10.0.0.9"; },
                          3000));
    EXPECT_EQ(live.connector->GetStatus(), Connected);
    const char typed[] = "reboot\r";
    ASSERT_EQ(theirs.Send(typed, sizeof typed - 1).count, static_cast<long>(sizeof typed - 1));
    EXPECT_EQ(live.PipeRead(sizeof typed - 1, 3000), typed);  // the same pipe: no opening CR
    auto events = live.seen.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "pipe attached"), 1);
}

TEST(ConsoleSharing, TheLastClientLeavingEndsTheTurn) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient a, b;
    ConnectTwo(live, a, b);
    a.Close();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.1"; }, 2000));
    EXPECT_EQ(live.connector->GetStatus(), Connected);
    b.Close();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 2000));
    EXPECT_EQ(live.connector->GetClientAddress(), "");
    EXPECT_EQ(live.connector->GetBytesReceived(), 0);
    EXPECT_EQ(live.PipeRead(2, 1000), "\r");  // and the pipe is closed: the server sees it go
}

}  // namespace
}  // namespace tolvi::test
