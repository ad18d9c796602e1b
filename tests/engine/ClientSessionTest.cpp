// One client's session over a real loopback connection whose send buffer is kept small, so
// that nearly every send is cut short: pipe data, sent straight or from the queue, arrives
// whole and in order, and exactly the pipe's bytes are counted.
#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include "engine/ClientSession.h"
#include "support/SocketTools.h"
#include "support/TestClient.h"

namespace tolvi::test {
namespace {

// A connected pair: the relay's end, with a small send buffer, and the client's.
bool Connect(platform::TcpSocket* relayEnd, TestClient* client) {
    platform::SysError error;
    platform::TcpSocket listener = platform::TcpSocket::CreateStream(&error);
    uint16_t port = 0;
    if (listener.Bind(At("127.0.0.1", 0)).Failed() || listener.Listen(1).Failed() ||
        (port = LocalPortOf(listener)) == 0 || !client->Connect(port, "", 4096) ||
        listener.Accept(relayEnd).Failed()) {
        return false;
    }
    int small = 4096;
    setsockopt(static_cast<decltype(socket(0, 0, 0))>(relayEnd->Native()), SOL_SOCKET, SO_SNDBUF,
               reinterpret_cast<const char*>(&small), sizeof small);
    return !relayEnd->SetNonBlocking().Failed();
}

TEST(ClientSession, PipeDataThroughANarrowWindowArrivesWholeAndIsCountedOnce) {
    platform::TcpSocket relayEnd;
    TestClient client;
    ASSERT_TRUE(Connect(&relayEnd, &client));
    ClientSession session(std::move(relayEnd), "127.0.0.1");

    const size_t total = 4u << 20;
    std::string data(total, '\0');
    // Long runs without 255, which go out straight, and a 255 now and then, which is queued.
    for (size_t i = 0; i < total; ++i)
        data[i] = static_cast<char>(i % 40009 == 0 ? 255 : 'a' + i % 23);

    const std::string expected = Doubled(data);
    std::string received;
    std::thread reader([&] {
        // Slow at first, so that the window stays nearly full; bytes lost on the way end the
        // wait after a quiet second instead of holding the test.
        int64_t lastByte = NowMs();
        while (received.size() < expected.size() && NowMs() - lastByte < 3000) {
            std::string piece =
                received.size() < (1u << 20) ? client.ReadCount(700, 2000) : client.ReadFor(10);
            if (piece.empty() && client.WaitClosed(0))
                break;
            if (!piece.empty())
                lastByte = NowMs();
            received += piece;
        }
    });

    uint64_t counted = 0;
    for (size_t at = 0; at < total; at += 65536) {
        // Like the relay: new pipe data only once what is queued has gone.
        while (!session.Output().Empty() && !session.Gone()) {
            bool blocked = false;
            counted += session.Flush(&blocked);
            if (blocked)
                WaitWritable(session.Socket(), 100000);
        }
        counted += session.SendPipeData(reinterpret_cast<const uint8_t*>(data.data()) + at,
                                        std::min<size_t>(65536, total - at));
    }
    while (!session.Output().Empty() && !session.Gone()) {
        bool blocked = false;
        counted += session.Flush(&blocked);
        if (blocked)
            WaitWritable(session.Socket(), 100000);
    }
    reader.join();
    EXPECT_FALSE(session.Gone());
    EXPECT_TRUE(SameBytes(received, expected));
    EXPECT_EQ(counted, total);
}

TEST(ClientSession, BeingBehindStartsAfreshOnceCaughtUp) {
    ClientSession session(platform::TcpSocket{}, "127.0.0.1");
    using Clock = ClientSession::Clock;
    const Clock::time_point t0 = Clock::now();
    const std::string backlog(100, 'x');
    session.Output().AppendProtocol(backlog.data(), backlog.size());
    session.Track(50, t0);
    EXPECT_EQ(session.BehindSince(), t0);
    session.Track(50, t0 + std::chrono::seconds(1));  // still behind since the first time
    EXPECT_EQ(session.BehindSince(), t0);
    session.Output().Consume(backlog.size());
    session.Track(50, t0 + std::chrono::seconds(2));
    EXPECT_EQ(session.BehindSince(), Clock::time_point{});
    // Behind again later: its grace is counted from now, not from the first time.
    session.Output().AppendProtocol(backlog.data(), backlog.size());
    session.Track(50, t0 + std::chrono::seconds(3));
    EXPECT_EQ(session.BehindSince(), t0 + std::chrono::seconds(3));
}

}  // namespace
}  // namespace tolvi::test
