// The pipe's server end: tolvi makes the pipe and a machine connects to it as its client,
// after tolvi, and again after it leaves, its Telnet clients staying; a pipe or a socket file
// of another program's is refused with a line.
#include <gtest/gtest.h>

#include <string>

#include "platform/PipeClient.h"
#include "platform/WaitSet.h"
#include "support/LiveConnector.h"

#ifdef _WIN32
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <set>

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#endif

namespace tolvi::test {
namespace {

// The virtual machine: the client end of the pipe tolvi made.
struct Machine {
    bool Connect(const std::string& name) {
        return WaitUntil([&] { return !pipe.Open(name).Failed(); }, 5000);
    }
    std::string Read(size_t count, int timeoutMs) {
        std::string got;
        char buffer[4096];
        int64_t end = NowMs() + timeoutMs;
        while (got.size() < count && NowMs() < end) {
            uint32_t n = 0;
            platform::SysError e = pipe.Read(buffer, sizeof buffer, &n);
            if (e.Is(platform::ErrorKind::WouldBlock)) {
                platform::WaitSet wait;
                wait.Add(pipe, true, false);
                wait.Wait(20);
                continue;
            }
            if (e.Failed())
                break;
            got.append(buffer, n);
        }
        return got;
    }
    bool Write(const std::string& data) {
        uint32_t taken = 0;
        for (int i = 0; i < 100 && pipe.Write(data.data(), static_cast<uint32_t>(data.size()),
                                              &taken).Is(platform::ErrorKind::WouldBlock);
             ++i) {
            platform::WaitSet wait;
            wait.Add(pipe, false, true);
            wait.Wait(20);
        }
        return taken == data.size();
    }
    platform::PipeClient pipe;
};

bool Waits(const LiveConnector& live) {
    return std::string(live.connector->GetStatusWord()) == "Waiting for the VM";
}

TEST(ServedPipe, TheMachineConnectsAfterTolviAndAgainAfterItLeaves) {
    LiveConnector live;
    live.options.pipeServer = true;
    ASSERT_TRUE(live.Start(false));
    ASSERT_TRUE(WaitUntil([&] { return Waits(live); }, 3000));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
    EXPECT_TRUE(Waits(live));

    Machine machine;
    ASSERT_TRUE(machine.Connect(live.pipeName));
    EXPECT_TRUE(SameBytes(client.ReadCount(kConnectedBanner.size(), 3000), kConnectedBanner));
    EXPECT_EQ(machine.Read(1, 3000), "\r");
    EXPECT_EQ(live.connector->GetStatus(), Connected);
    ASSERT_TRUE(machine.Write("login: "));
    EXPECT_EQ(client.ReadCount(7, 3000), "login: ");
    ASSERT_TRUE(client.Send("root"));
    EXPECT_EQ(machine.Read(4, 3000), "root");

    // A restart: the client stays, told as for any pipe lost and found; the pipe waits again.
    machine.pipe.Close();
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
    EXPECT_TRUE(WaitUntil([&] { return Waits(live); }, 3000));
    Machine again;
    ASSERT_TRUE(again.Connect(live.pipeName));
    EXPECT_TRUE(SameBytes(client.ReadCount(kConnectedBanner.size(), 3000), kConnectedBanner));
    ASSERT_TRUE(again.Write("login: "));
    EXPECT_EQ(client.ReadCount(7, 3000), "login: ");
    EXPECT_FALSE(Waits(live));
    int waiting = 0;
    for (const std::string& e : live.seen.Events())
        waiting += e == "notice waiting for the VM to connect to the pipe" ? 1 : 0;
    EXPECT_EQ(waiting, 2);

    // Without clients the machine stays connected: it may never come back.
    client.Close();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 3000));
    EXPECT_TRUE(again.Write("still here"));
    EXPECT_FALSE(Waits(live));
}

TEST(ServedPipe, APipeOfAnotherProgramIsRefused) {
    LiveConnector live;
    live.options.pipeServer = true;
    ASSERT_TRUE(live.Start(true));  // the test's pipe server made it first
    ASSERT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Error; }, 3000));
#ifdef _WIN32
    EXPECT_NE(live.connector->GetErrorText().find(live.pipeName + " exists already: another program"),
              std::string::npos)
        << live.connector->GetErrorText();
#else
    EXPECT_NE(live.connector->GetErrorText().find("is in use: another program listens on it"),
              std::string::npos)
        << live.connector->GetErrorText();
#endif
}

#ifdef _WIN32
// Wine does not enforce a pipe's security descriptor; what it says can be read back.
TEST(ServedPipe, OnlyTheSystemAdministratorsMachinesAndOurUserMayOpenIt) {
    LiveConnector live;
    live.options.pipeServer = true;
    ASSERT_TRUE(live.Start(false));
    ASSERT_TRUE(WaitUntil([&] { return Waits(live); }, 3000));
    platform::UniqueFile pipe(CreateFileW(platform::Widen(live.pipeName).c_str(),
                                          GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(pipe) << GetLastError();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    std::set<std::string> admitted;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        char* sid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&ace->SidStart, &sid));
        admitted.insert(sid);
        LocalFree(sid);
    }
    LocalFree(descriptor);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE info[256];
    DWORD size = sizeof info;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, info, size, &size));
    CloseHandle(token);
    char* user = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(info)->User.Sid, &user));
    std::set<std::string> expected = {"S-1-5-18", "S-1-5-32-544", "S-1-5-83-0", user};
    LocalFree(user);
    EXPECT_EQ(admitted, expected);
    // One instance, ours: nobody makes a second beside it.
    platform::UniqueFile second(CreateNamedPipeW(platform::Widen(live.pipeName).c_str(),
                                                 PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 2, 4096, 4096,
                                                 0, nullptr));
    EXPECT_FALSE(second);
}
#else
// A socket file of our own that nobody listens on is replaced; another program's file, or
// another user's socket, is left alone and refused.
TEST(ServedPipe, AStaleSocketOfOursIsReplacedAndAnyOtherFileRefused) {
    std::string name = UniquePipeName();
    std::string path = platform::PosixPipePath(name);
    auto start = [&name](LiveConnector& live) {
        live.pipeName = name;
        live.options.pipeServer = true;
        return live.Start(false);
    };
    {
        int stale = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        std::strcpy(sa.sun_path, path.c_str());
        ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        close(stale);  // its file stays, and nobody listens
        LiveConnector live;
        ASSERT_TRUE(start(live));
        ASSERT_TRUE(WaitUntil([&] { return Waits(live); }, 3000)) << live.connector->GetErrorText();
        struct stat made {};
        ASSERT_EQ(stat(path.c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 0777, 0600u);
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0);  // removed when the connector stopped

    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(file);
    std::fclose(file);
    {
        LiveConnector live;
        ASSERT_TRUE(start(live));
        ASSERT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Error; }, 3000));
        EXPECT_EQ(live.connector->GetErrorText(),
                  path + " exists and is no socket: another program's file is left as it is");
    }
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
    unlink(path.c_str());
}
#endif

}  // namespace
}  // namespace tolvi::test
