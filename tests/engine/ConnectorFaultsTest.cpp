// Faults found by using the relay as people do: a client that resets before it is accepted,
// the byte 255 from the console, urgent data, a listener shared with another program, a
// large paste or Telnet while the pipe is missing, a port rebound right after a session, a
// pipe that closes as soon as it opens, and messages longer than a read.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include "platform/PipeClient.h"
#include "platform/PipeServerTrust.h"
#include "support/LiveConnector.h"
#include "support/SocketTools.h"

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
    ASSERT_EQ(live.connector->StartWorker().Failed(), false);

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
    ASSERT_EQ(live.connector->StartWorker().Failed(), false);
    live.pipe.DropClient();
    TestClient again;
    ASSERT_TRUE(live.Attach(again));
}

TEST(ConnectorFaults, AnotherProgramCannotShareTheListeningPort) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    // A second relay or any program asking to share the port gets it refused, instead of
    // taking half of the clients to a different pipe (Winsock's SO_REUSEADDR would let it).
    platform::SysError error;
    platform::TcpSocket other = platform::TcpSocket::CreateStream(&error);
    auto s = static_cast<decltype(socket(0, 0, 0))>(other.Native());
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
#ifdef SO_REUSEPORT
    setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
#endif
    error = other.Bind(At("127.0.0.1", live.port));
    EXPECT_TRUE(error.Is(platform::ErrorKind::AddressInUse) ||
                error.Is(platform::ErrorKind::AccessDenied))
        << error.code;
}

TEST(ConnectorFaults, TelnetBeforeThePipeOpensIsAnsweredAndNotMangled) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(/*openPipe=*/false));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
    ASSERT_TRUE(client.Send(Bytes({255, 253, 24})));  // DO TTYPE, as a telnet sends at once
    EXPECT_EQ(client.ReadCount(3, 3000), Bytes({255, 252, 24}));
    ASSERT_TRUE(client.Send("dropped" + Bytes({255})));  // a command cut by the pipe's arrival
    std::this_thread::sleep_for(milliseconds(200));
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error)) << error;
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(client.ReadCount(kConnectedBanner.size(), 5000), kConnectedBanner);
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
    ASSERT_TRUE(client.Send(Bytes({253, 24}) + "z"));  // the rest of that command, then data
    EXPECT_EQ(live.PipeRead(1, 3000), "z");
    EXPECT_EQ(client.ReadCount(3, 3000), Bytes({255, 252, 24}));
    EXPECT_EQ(live.PipeReadFor(200), "");
}

TEST(ConnectorFaults, APipeThatClosesAsSoonAsItOpensIsTriedTwiceASecond) {
    LiveConnector live;
    live.options.replayKiB = 1024;  // kept open for the replay, with or without clients
    ASSERT_TRUE(live.Start());
    TestClient idle;  // connected, reading nothing: every attach would queue it banners
    ASSERT_TRUE(idle.Connect(live.port, "", 4096));
    int attaches = 0;
    int64_t end = NowMs() + 2000;
    while (NowMs() < end) {
        if (live.pipe.WaitClient(20)) {
            ++attaches;
            live.pipe.DropClient();
        }
    }
    // At once after the first loss, then every 500 ms: five in two seconds, not thousands.
    EXPECT_GE(attaches, 3);
    EXPECT_LE(attaches, 6);
}

#ifdef _WIN32
// A pipe's server learns who its client is, but cannot act as it (the service runs as the
// system); and who serves the pipe is looked at through its process before any byte.
TEST(ConnectorFaults, APipeIsOpenedForItsServerToIdentifyItsClientOnly) {
    std::wstring name = L"\\\\.\\pipe\\tolvi-identify-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                     1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    platform::PipeClient pipe;
    std::string narrow(name.begin(), name.end());
    ASSERT_FALSE(pipe.Open(narrow).Failed()) << pipe.Refusal();
    platform::PipeServerCheck check = platform::CheckPipeServer(pipe.Native());
    EXPECT_TRUE(check.trusted);
    EXPECT_FALSE(check.account.empty());
    ULONG pid = 0;
    ASSERT_TRUE(GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(pipe.Native()), &pid));
    EXPECT_EQ(pid, GetCurrentProcessId());
    uint32_t taken = 0;
    ASSERT_FALSE(pipe.Write("x", 1, &taken).Failed());
    char byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(server, &byte, 1, &got, nullptr));
    ASSERT_TRUE(ImpersonateNamedPipeClient(server));
    HANDLE token = nullptr;
    BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
    DWORD size = 0;
    if (opened)
        GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size);
    RevertToSelf();
    if (token)
        CloseHandle(token);
    CloseHandle(server);
    ASSERT_TRUE(opened);
    // Wine gives a pipe's server its client's token at the impersonation level whatever the
    // client asked for; Windows keeps to what was asked.
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        EXPECT_EQ(level, SecurityIdentification);
}

TEST(ConnectorFaults, AMessageLongerThanAReadIsDataNotAFailure) {
    // Read in message mode, a message longer than a read comes in parts: each but the last
    // reported with ERROR_MORE_DATA, which is data like any other.
    std::string name = UniquePipeName();
    tools::PipeServer server(name);
    server.UseMessages();
    std::string error;
    ASSERT_TRUE(server.Listen(&error)) << error;
    platform::PipeClient pipe;
    ASSERT_FALSE(pipe.Open(name).Failed());
    ASSERT_TRUE(server.WaitClient(5000));
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(
        SetNamedPipeHandleState(reinterpret_cast<HANDLE>(pipe.Native()), &mode, nullptr, nullptr));
    std::string message(200000, '\0');
    for (size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>('a' + i % 26);
    std::thread writer([&] { server.Write(message.data(), message.size()); });
    std::string got;
    std::vector<char> buffer(platform::PipeClient::kChunk);
    int64_t end = NowMs() + 5000;
    platform::SysError failure;
    while (got.size() < message.size() && NowMs() < end && !failure.Failed()) {
        uint32_t n = 0;
        platform::SysError e = pipe.Read(buffer.data(), platform::PipeClient::kChunk, &n);
        if (e.Is(platform::ErrorKind::WouldBlock))
            std::this_thread::sleep_for(milliseconds(1));
        else if (e.Failed())
            failure = e;
        got.append(buffer.data(), n);
    }
    pipe.Close();
    writer.join();
    EXPECT_FALSE(failure.Failed()) << "error " << failure.code;
    EXPECT_TRUE(SameBytes(got, message));
}
#endif

#ifndef _WIN32
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
