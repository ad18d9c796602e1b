// Faults found by using the relay as people do: a client that resets before it is accepted,
// the byte 255 from the console, urgent data, a listener shared with another program, a
// large paste while the pipe is missing, and a port rebound right after a session.
#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include "platform/PipeClient.h"
#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

using std::chrono::milliseconds;

TEST(ConnectorFaults, ClientThatResetsInTheBacklogIsSkipped) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    live.connector->StopAndWait();  // nobody accepts: connections wait in the backlog
    TestClient early;
    ASSERT_TRUE(early.Connect(live.port));
    early.Reset();
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_EQ(live.connector->StartWorker(), 0u);

    TestClient next;
    ASSERT_TRUE(live.Attach(next));
    EXPECT_EQ(live.connector->GetStatus(), Connected);
    EXPECT_EQ(live.connector->GetErrorText(), "");
}

TEST(ConnectorFaults, ByteTwoFiftyFiveFromThePipeReachesATelnetClientAsData) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    // What a console printed with printf 'A\377\375\030B': a client must not read DO TTYPE.
    const std::string printed =
        "A\xff\xfd\x18"
        "B";
    ASSERT_TRUE(live.PipeWrite(printed));
    std::string raw = client.ReadCount(6, 3000);
    EXPECT_EQ(raw,
              "A\xff\xff\xfd\x18"
              "B");
    TelnetDecoder telnet;
    EXPECT_EQ(telnet.Feed(raw), printed);
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == 5; }, 2000))
        << live.connector->GetBytesSent();
}

TEST(ConnectorFaults, UrgentDataIsReadInlineAndCostsNoCpu) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    // A Telnet SYNCH: IAC, then DM as urgent data, then typing goes on.
    ASSERT_TRUE(client.Send("\xff"));
    auto s = static_cast<decltype(socket(0, 0, 0))>(client.Socket().Native());
    ASSERT_EQ(send(s, "\xf2", 1, MSG_OOB), 1);
    ASSERT_TRUE(client.Send("after"));
    EXPECT_EQ(live.PipeRead(5, 3000), "after");  // IAC DM is a command like any other

    double before = ProcessCpuSeconds();
    int64_t start = NowMs();
    std::this_thread::sleep_for(milliseconds(2000));
    double used = ProcessCpuSeconds() - before;
    double wall = double(NowMs() - start) / 1000.0;
    EXPECT_LT(used / wall, 0.2) << "the idle relay used " << used << " s of CPU in " << wall
                                << " s";
    ASSERT_TRUE(client.Send("more"));
    EXPECT_EQ(live.PipeRead(4, 3000), "more");
}

TEST(ConnectorFaults, PasteWhileThePipeIsMissingIsDroppedWholeAndALeavingClientSeen) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(/*openPipe=*/false));
    {
        TestClient client;
        ASSERT_TRUE(client.Connect(live.port));
        EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
        ASSERT_TRUE(client.Send(std::string(42000, 'p')));
    }
    // Gone at once, not after its input has been drained a piece per retry.
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 1000))
        << StatusWord(live.connector->GetStatus());
    EXPECT_EQ(live.connector->GetClientAddress(), "");

    TestClient typist;
    ASSERT_TRUE(typist.Connect(live.port));
    EXPECT_EQ(typist.ReadCount(kAttaching.size(), 3000), kAttaching);
    ASSERT_TRUE(typist.Send(std::string(42000, 't')));
    std::this_thread::sleep_for(milliseconds(300));
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error)) << error;
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(typist.ReadCount(kConnectedBanner.size(), 5000), kConnectedBanner);
    EXPECT_EQ(live.PipeReadFor(500), "\r");  // nothing typed before the pipe was there
}

TEST(ConnectorFaults, MissingPipeIsTriedTwiceASecondAtNoCost) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(/*openPipe=*/false));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
    double before = ProcessCpuSeconds();
    int64_t start = NowMs();
    std::this_thread::sleep_for(milliseconds(1200));
    double share = (ProcessCpuSeconds() - before) / (double(NowMs() - start) / 1000.0);
    EXPECT_LT(share, 0.2) << "the attaching relay used " << share * 100 << "% of a core";
    EXPECT_EQ(live.connector->GetStatus(), AttachingPipe);
}

TEST(ConnectorFaults, PortIsBoundAgainRightAfterASession) {
    // The session ends with the connector closing first, which leaves the port's old
    // connection lingering; a reset must still be able to listen there at once.
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    live.connector->StopAndWait();
    EXPECT_TRUE(client.WaitClosed(2000));
    ASSERT_TRUE(live.connector->CreateListener()) << live.connector->GetErrorText();
    EXPECT_EQ(live.connector->GetListenPort(), live.port);
    ASSERT_EQ(live.connector->StartWorker(), 0u);
    live.pipe.DropClient();
    TestClient again;
    ASSERT_TRUE(live.Attach(again));
}

#ifndef _WIN32
TEST(ConnectorFaults, AnotherProgramCannotShareTheListeningPort) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    // A second relay or any program asking to share the port gets it refused, instead of
    // taking half of the clients to a different pipe.
    platform::SysError error;
    platform::TcpSocket other = platform::TcpSocket::CreateStream(&error);
    int one = 1;
    setsockopt(static_cast<int>(other.Native()), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(static_cast<int>(other.Native()), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    EXPECT_TRUE(other.Bind("", live.port).Is(platform::ErrorKind::AddressInUse));
}

TEST(ConnectorFaults, FailedPipeWriteIsNotedAndThePipeOpenedAgain) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    live.pipe.StopReading();  // the console takes nothing more, but could still talk
    ASSERT_TRUE(client.Send("lost"));
    EXPECT_EQ(client.ReadUntil(kAttaching, 3000), kAttaching);
    EXPECT_EQ(live.connector->GetErrorText().rfind("Could not write to pipe, error ", 0), 0u)
        << live.connector->GetErrorText();
    live.pipe.DropClient();
    ASSERT_TRUE(live.pipe.WaitClient(5000));  // opened again for the same client
    EXPECT_EQ(client.ReadCount(kConnectedBanner.size(), 5000), kConnectedBanner);
}

TEST(ConnectorFaults, PipeNamesMapIntoThePipeDirectory) {
    // The pipe directory variable decides where a pipe is found.
    char pattern[] = "/tmp/tolvi-dir-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    setenv("TOLVI_PIPE_DIR", dir.c_str(), 1);
    EXPECT_EQ(platform::PosixPipePath("\\\\.\\pipe\\com1"), dir + "/com1");
    LiveConnector live;  // its pipe server and its connector both look there
    ASSERT_TRUE(live.Start());
    TestClient client;
    EXPECT_TRUE(live.Attach(client));
    EXPECT_EQ(access(("/tmp/" + live.pipeName.substr(9)).c_str(), F_OK), -1);
    live.connector.reset();
    live.pipe.Close();
    unsetenv("TOLVI_PIPE_DIR");
    rmdir(pattern);
}

TEST(ConnectorFaults, PipePathThatWouldNotFitASocketAddressIsRefused) {
    setenv("TOLVI_PIPE_DIR", "/tmp", 1);
    // sun_path holds 108 bytes with its NUL: "/tmp/" and 102 more fit, 103 do not.
    std::string fits(102, 'f'), tooLong(103, 'l');
    EXPECT_EQ(platform::PosixPipePath("\\\\.\\pipe\\" + fits), "/tmp/" + fits);
    EXPECT_EQ(platform::PosixPipePath("\\\\.\\pipe\\" + tooLong), "");
    platform::PipeClient pipe;
    EXPECT_TRUE(pipe.Open("\\\\.\\pipe\\" + tooLong).Failed());
    EXPECT_FALSE(pipe.IsOpen());
    unsetenv("TOLVI_PIPE_DIR");
}
#endif

}  // namespace
}  // namespace tolvi::test
