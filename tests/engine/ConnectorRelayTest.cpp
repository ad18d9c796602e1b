// The relay over real loopback TCP and a real pipe: banners, bytes both ways, counters,
// Telnet handling, pipe loss and client loss.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pipeserver/ServeModes.h"
#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

std::string Pattern(size_t size, bool avoidIac) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        unsigned v = static_cast<unsigned>((i * 7 + i / 251) % 256);
        // Client data must not hold Telnet commands or CR NUL to arrive unchanged.
        if (avoidIac && (v == 255 || v == 0))
            v = 'x';
        s[i] = static_cast<char>(v);
    }
    return s;
}

TEST(ConnectorRelay, AdmittedClientSeesBannersAndThePipeACarriageReturn) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));  // checks the exact bytes on both sides
    EXPECT_EQ(live.connector->GetStatus(), Connected);
    EXPECT_EQ(live.connector->GetClientAddress(), "127.0.0.1");
    // Banners and announcements are not pipe data.
    EXPECT_EQ(live.connector->GetBytesSent(), 0);
    EXPECT_EQ(live.connector->GetBytesReceived(), 0);
}

TEST(ConnectorRelay, BytesFlowBothWaysUnchangedAndAreCounted) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));

    // Pipe to client: every byte value, 255 doubled so that a Telnet client reads it as data;
    // only the pipe's own bytes count as sent.
    std::string down = Pattern(3000, false);
    ASSERT_TRUE(live.PipeWrite(down));
    EXPECT_TRUE(SameBytes(client.ReadCount(Doubled(down).size(), 5000), Doubled(down)));
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == 3000; }, 2000));

    // Client to pipe.
    std::string up = Pattern(2000, true);
    ASSERT_TRUE(client.Send(up));
    EXPECT_EQ(live.PipeRead(up.size(), 5000), up);
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesReceived() == 2000; }, 2000));
}

TEST(ConnectorRelay, TelnetCommandsAreAnsweredAndCountedButNotWritten) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    // DO ECHO agrees to the WILL ECHO of the banner: acknowledging it again could start a
    // client that answers every answer on an endless exchange.
    ASSERT_TRUE(client.Send("ab" + Bytes({255, 253, 1}) + "cd"));
    EXPECT_EQ(live.PipeRead(4, 3000), "abcd");
    ASSERT_TRUE(client.Send(Bytes({255, 253, 24, 255, 251, 31, 255, 254, 1, 255, 253, 1})));
    EXPECT_EQ(client.ReadCount(9, 3000), Bytes({255, 252, 24, 255, 254, 31, 255, 251, 1}));
    ASSERT_TRUE(client.Send(Bytes({255, 255, 'A', 13, 0})));
    EXPECT_EQ(live.PipeRead(3, 3000), Bytes({255, 'A', 13}));
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesReceived() == 24; }, 2000));
    EXPECT_EQ(live.PipeReadFor(200), "");
    EXPECT_EQ(client.ReadFor(100), "");  // nothing answered twice
}

TEST(ConnectorRelay, RawConnectionsCarryExactlyThePipesBytes) {
    LiveConnector live;
    live.options.telnet = false;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string every;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b)
            every += static_cast<char>(b);
    }
    // No banner, no announcements, no 255 doubled: what the console prints, as it is.
    ASSERT_TRUE(live.PipeWrite(every));
    EXPECT_TRUE(SameBytes(client.ReadCount(every.size(), 3000), every));
    // No carriage return on opening, no Telnet taken out: what the client sends, as it is.
    ASSERT_TRUE(client.Send(every));
    EXPECT_TRUE(SameBytes(live.PipeRead(every.size(), 3000), every));
    EXPECT_EQ(live.PipeReadFor(200), "");
    EXPECT_TRUE(WaitUntil(
        [&] { return live.connector->GetBytesSent() == static_cast<int64_t>(every.size()); },
        2000));
}

// A script (pyserial's socket://, nc < file, a command piped into tolvi-relay console)
// writes as it connects, with no banner to wait for: what it sends before the pipe is opened
// for it is not lost, on a raw connector or a Telnet one.
TEST(ConnectorRelay, ScriptsThatWriteAsTheyConnectAreHeard) {
    for (bool telnet : {false, true}) {
        SCOPED_TRACE(telnet ? "Telnet" : "raw");
        LiveConnector live;
        live.options.telnet = telnet;
        ASSERT_TRUE(live.Start());
        std::atomic<bool> stop{false};
        std::thread echo([&] {
            tools::ServeOptions options;
            options.mode = "echo";
            while (!stop) {
                if (!live.pipe.WaitClient(100))
                    continue;
                tools::ServeClient(live.pipe, options, stop);
                live.pipe.DropClient();  // a console that is there for the next one
            }
        });
        int echoed = 0;
        for (int script = 0; script < 5; ++script) {
            TestClient client;
            ASSERT_TRUE(client.Connect(live.port));
            ASSERT_TRUE(client.Send("hello script\n"));
            std::string got = client.ReadUntil("hello script\n", 3000);
            echoed += got.find("hello script\n") != std::string::npos ? 1 : 0;
            client.Close();
            ASSERT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 3000));
        }
        stop = true;
        echo.join();
        EXPECT_EQ(echoed, 5);
    }
}

// One that writes and hangs up at once: the pipe is closed once it has taken every byte.
TEST(ConnectorRelay, AClientThatWritesAndLeavesAtOnceLosesNothing) {
    LiveConnector live(4096);
    live.options.telnet = false;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string file(1 << 20, '\0');
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7 % 251);
    std::thread writer([&] {
        client.Send(file);
        client.Close();
    });
    // A console slow to take what comes: bytes still wait for it when the client has gone.
    std::string got;
    char piece[4096];
    for (int64_t end = NowMs() + 20000; got.size() < file.size() && NowMs() < end;) {
        long n = live.pipe.Read(piece, sizeof piece, 200);
        if (n < 0)
            break;
        got.append(piece, static_cast<size_t>(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    writer.join();
    EXPECT_TRUE(SameBytes(got, file));
}

TEST(ConnectorRelay, LargeTransfersLoseNothingEitherWay) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    // Far more than the socket buffers hold, so sends are partial and would block.
    const size_t size = 4 * 1024 * 1024;
    std::string down = Pattern(size, false);
    std::thread writer([&] { live.PipeWrite(down); });
    std::string got = client.ReadCount(Doubled(down).size(), 60000);
    writer.join();
    EXPECT_TRUE(SameBytes(got, Doubled(down)));
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == int64_t(size); }, 2000));

    std::string up = Pattern(size / 4, true);
    std::thread sender([&] { client.Send(up); });
    std::string arrived = live.PipeRead(up.size(), 60000);
    sender.join();
    EXPECT_TRUE(SameBytes(arrived, up));
}

TEST(ConnectorRelay, ClientLeavingEndsItsTurnAndTheNextIsServed) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    {
        TestClient first;
        ASSERT_TRUE(live.Attach(first));
        ASSERT_TRUE(first.Send("one"));
        EXPECT_EQ(live.PipeRead(3, 3000), "one");
    }
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 2000));
    EXPECT_EQ(live.connector->GetClientAddress(), "");
    EXPECT_EQ(live.connector->GetBytesReceived(), 0);
    live.pipe.DropClient();  // the pipe's server sees its client go and waits for the next

    TestClient second;
    ASSERT_TRUE(live.Attach(second));
    ASSERT_TRUE(second.Send("two"));
    EXPECT_EQ(live.PipeRead(3, 3000), "two");
}

// RFC 2217 through the relay: the line a client sets is the connector's while its pipe is
// open; the modem lines follow the pipe; a COM-port client is told no banners; a break is
// said once.
TEST(ConnectorRelay, ComPortClientSetsTheLineAndSeesThePipeAsItsModemLines) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    auto sb = [](std::initializer_list<int> body) {
        return Bytes({255, 250, 44}) + Bytes(body) + Bytes({255, 240});
    };
    ASSERT_TRUE(client.Send(Bytes({255, 251, 44})));
    EXPECT_TRUE(SameBytes(client.ReadCount(10, 3000), Bytes({255, 253, 44}) + sb({107, 0xB0})));
    SerialLine line;
    EXPECT_FALSE(live.connector->GetSerialLine(&line));
    ASSERT_TRUE(client.Send(sb({1, 0, 0, 0x25, 0x80}) + sb({5, 5}) + sb({5, 5})));
    EXPECT_TRUE(SameBytes(client.ReadCount(10 + 7 + 7, 3000),
                          sb({101, 0, 0, 0x25, 0x80}) + sb({105, 5}) + sb({105, 5})));
    ASSERT_TRUE(live.connector->GetSerialLine(&line));
    EXPECT_EQ(SerialLineText(line), "9600 8N1, no flow control, break");
    int breaks = 0;
    for (const std::string& e : live.seen.Events())
        breaks += e.find("notice a client sent a break") == 0 ? 1 : 0;
    EXPECT_EQ(breaks, 1);

    live.pipe.DropClient();  // the lines go down, without a banner; the line is forgotten
    EXPECT_TRUE(SameBytes(client.ReadCount(7, 3000), sb({107, 0x0B})));
    EXPECT_FALSE(live.connector->GetSerialLine(&line));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_TRUE(SameBytes(client.ReadCount(13, 3000),
                          Bytes({255, 251, 1, 255, 251, 3}) + sb({107, 0xBB})));
    EXPECT_EQ(live.PipeReadFor(300), "");  // no carriage return on a serial client's behalf
    ASSERT_TRUE(client.Send(std::string("\r\0", 2)));  // its bytes as they are
    EXPECT_TRUE(SameBytes(live.PipeRead(2, 3000), std::string("\r\0", 2)));
    // A purge of what waits for the pipe takes what came before it, in the same receive too.
    ASSERT_TRUE(client.Send("purged" + sb({12, 2}) + "kept"));
    EXPECT_TRUE(SameBytes(client.ReadCount(7, 3000), sb({112, 2})));
    EXPECT_EQ(live.PipeRead(4, 3000), "kept");
}

TEST(ConnectorRelay, ClientResetEndsItsTurnAsACloseDoes) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient first;
    ASSERT_TRUE(live.Attach(first));
    first.Reset();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 2000));
    EXPECT_EQ(live.connector->GetClientAddress(), "");
    live.pipe.DropClient();
    TestClient second;
    ASSERT_TRUE(live.Attach(second));
}

TEST(ConnectorRelay, SecondClientWaitsInTheBacklogUntilTheFirstLeaves) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient first;
    ASSERT_TRUE(live.Attach(first));
    TestClient second;
    ASSERT_TRUE(second.Connect(live.port));  // taken by the backlog
    EXPECT_EQ(second.ReadFor(700), "");
    first.Close();
    live.pipe.DropClient();
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string expected = kAttaching + kConnectedBanner;
    EXPECT_EQ(second.ReadCount(expected.size(), 5000), expected);
}

TEST(ConnectorRelay, LostPipeIsOpenedAgainForTheSameClient) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    ASSERT_TRUE(live.PipeWrite("before"));
    EXPECT_EQ(client.ReadCount(6, 3000), "before");
    ASSERT_TRUE(client.Send("up1"));
    EXPECT_EQ(live.PipeRead(3, 3000), "up1");

    live.pipe.Close();  // the pipe's server goes away
    EXPECT_EQ(client.ReadUntil(kAttaching, 3000), kAttaching);
    EXPECT_EQ(live.connector->GetStatus(), AttachingPipe);
    EXPECT_EQ(client.ReadFor(600), "");

    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error)) << error;
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(client.ReadCount(kConnectedBanner.size(), 5000), kConnectedBanner);
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Connected; }, 2000));
    // The counters go on for the same client.
    ASSERT_TRUE(live.PipeWrite("after"));
    EXPECT_EQ(client.ReadCount(5, 3000), "after");
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == 11; }, 2000));
    EXPECT_EQ(live.connector->GetBytesReceived(), 3);
}

TEST(ConnectorRelay, DisconnectedPipeInstanceIsOpenedAgain) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    live.pipe.DropClient();  // the server ends this session but keeps its pipe
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string expected = kAttaching + kConnectedBanner;
    EXPECT_EQ(client.ReadCount(expected.size(), 5000), expected);
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
}

TEST(ConnectorRelay, InputWhileThePipeIsMissingIsDiscarded) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(/*openPipe=*/false));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
    ASSERT_TRUE(client.Send("typed too early"));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error)) << error;
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(client.ReadCount(kConnectedBanner.size(), 5000), kConnectedBanner);
    EXPECT_EQ(live.PipeReadFor(500), "\r");
}

TEST(ConnectorRelay, ConsoleOfTheTestPipeServerAnswersThroughTheRelay) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::atomic<bool> stop{false};
    std::thread console([&] {
        tools::ServeOptions options;
        options.mode = "console";
        tools::ServeClient(live.pipe, options, stop);
    });
    EXPECT_NE(client.ReadUntil("demo> ", 5000).find("demo> "), std::string::npos);
    ASSERT_TRUE(client.Send("echo hello\r"));
    EXPECT_NE(client.ReadUntil("hello\r\ndemo> ", 5000).find("echo hello\r\nhello\r\ndemo> "),
              std::string::npos);
    stop = true;
    console.join();
}

}  // namespace
}  // namespace tolvi::test
