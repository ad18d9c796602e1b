// Flow control with peers that do not keep up: a client that reads slowly while the console
// streams, a pipe server that reads slowly while the client pastes, and an echoing console
// with small buffers. Nothing may be lost, reordered or duplicated, and neither side may
// wait for the other for ever.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pipeserver/ServeModes.h"
#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

using std::chrono::milliseconds;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kStreamBytes = 16u << 20;  // the sanitizers make every byte dear
#else
constexpr size_t kStreamBytes = 64u << 20;
#endif

// Bytes with every value, 255 among them, that a reader can check without keeping them.
uint8_t StreamAt(size_t i) {
    return static_cast<uint8_t>((i * 31 + i / 977) % 256);
}

// Client data must avoid 255 (a Telnet command) and a NUL after CR to arrive unchanged.
std::string Typing(size_t size, size_t offset = 0) {
    std::string s(size, 'x');
    for (size_t i = 0; i < size; ++i) {
        auto v = static_cast<uint8_t>((i + offset) * 7 % 254 + 1);
        s[i] = static_cast<char>(v == 13 ? 'c' : v);
    }
    return s;
}

// A client with a small receive window that reads slowly at first: the relay's sends are
// partial and would block long before the stream ends. Telnet doubles each 255, raw does not.
void StreamToASlowClient(bool telnetClient, size_t total) {
    LiveConnector live;
    live.options.telnet = telnetClient;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port, "", 4096));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    if (telnetClient) {
        std::string banner = kAttaching + kConnectedBanner;
        ASSERT_EQ(client.ReadCount(banner.size(), 5000), banner);
        ASSERT_EQ(live.PipeRead(1, 3000), "\r");
    }

    std::thread writer([&] {
        std::string block(256 * 1024, '\0');
        for (size_t sent = 0; sent < total; sent += block.size()) {
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<char>(StreamAt(sent + i));
            if (!live.PipeWrite(block))
                return;
        }
    });
    // Slow for longer than the relay's send buffer can hold, so that its sends are cut short
    // again and again, straight from the pipe and from its queue alike.
    TelnetDecoder telnet;
    size_t checked = 0, slowUntil = 8u << 20;
    bool intact = true;
    int64_t end = NowMs() + 120000;
    while (checked < total && intact && NowMs() < end) {
        std::string piece;
        if (checked < slowUntil) {
            std::this_thread::sleep_for(milliseconds(1));
            piece = client.ReadCount(16 * 1024, 1000);
        } else {
            piece = client.ReadFor(20);
        }
        std::string data = telnetClient ? telnet.Feed(piece) : piece;
        for (size_t i = 0; i < data.size() && intact; ++i) {
            intact = static_cast<uint8_t>(data[i]) == StreamAt(checked + i);
            if (!intact)
                ADD_FAILURE() << "byte " << checked + i << " arrived changed";
        }
        checked += data.size();
    }
    if (checked < total)
        client.Close();  // the relay lets the pipe go with it, which ends the writer
    writer.join();
    EXPECT_EQ(checked, total);
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == int64_t(total); }, 3000))
        << live.connector->GetBytesSent();
}

TEST(ConnectorFlow, SlowClientGetsAStreamWhole) {
    StreamToASlowClient(true, kStreamBytes);
}

TEST(ConnectorFlow, SlowRawClientGetsExactlyThePipesBytes) {
    StreamToASlowClient(false, 12u << 20);
}

TEST(ConnectorFlow, SlowPipeServerGetsAPasteWhole) {
    LiveConnector live(4096);
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));

    const std::string paste = Typing(4u << 20);
    std::thread sender([&] { client.Send(paste); });
    std::string arrived;
    char buffer[4096];
    int64_t end = NowMs() + 120000;
    while (arrived.size() < paste.size() && NowMs() < end) {
        if (arrived.size() < 256 * 1024)
            std::this_thread::sleep_for(milliseconds(1));  // a console that reads slowly
        long n = live.pipe.Read(buffer, arrived.size() < 256 * 1024 ? 512 : sizeof buffer, 100);
        if (n < 0)
            break;
        arrived.append(buffer, static_cast<size_t>(n));
    }
    sender.join();
    EXPECT_TRUE(SameBytes(arrived, paste));
    EXPECT_TRUE(WaitUntil(
        [&] { return live.connector->GetBytesReceived() == int64_t(paste.size()); }, 3000));
}

TEST(ConnectorFlow, EchoingConsoleWithSmallBuffersKeepsUpWithABurst) {
    // The console echoes what it reads and blocks while its echo cannot be written: the
    // relay must go on reading the pipe while its own write to the pipe waits.
    LiveConnector live(1024);
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    std::atomic<bool> stop{false};
    std::thread console([&] {
        tools::ServeOptions echo;
        echo.mode = "echo";
        tools::ServeClient(live.pipe, echo, stop);
    });

    const std::string burst = Typing(1u << 20, 3);
    std::thread sender([&] { client.Send(burst); });
    std::string echoed = client.ReadCount(burst.size(), 60000);
    sender.join();
    stop = true;
    console.join();
    EXPECT_TRUE(SameBytes(echoed, burst));
}

}  // namespace
}  // namespace tolvi::test
