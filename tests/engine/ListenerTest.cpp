// Opening listening endpoints: ports in use, odd port texts, the endpoint handed over on the
// same port, a port our own other connector holds, and an accept that runs out of means.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <thread>
#include <vector>

#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

TEST(Listener, PortHeldByAnotherProgramIsReported) {
    uint16_t port = 0;
    platform::TcpSocket holder = HoldPortExclusively(&port);
    ASSERT_TRUE(holder.IsValid());
    std::string portText = std::to_string(port);
    PipeConnector c(UniquePipeName(), portText, "");
    EXPECT_FALSE(c.CreateListener());
    EXPECT_EQ(c.GetStatus(), Error);
    EXPECT_EQ(c.GetErrorText(), "TCP port " + portText +
                                    " is used by another application! Please provide new value!");
    EXPECT_EQ(c.GetClientAddress(), "");
    int64_t start = NowMs();
    c.StopAndWait();  // no worker runs after a failed endpoint
    EXPECT_LT(NowMs() - start, 100);
    EXPECT_EQ(c.GetStatus(), Error);
}

TEST(Listener, PortTextThatIsNoPortEndsInErrorWithoutListening) {
    // Only a hand-edited store holds these; none may become a port the user never chose.
    for (const char* text : {"abc", "", "0", "-23", "65536", "109837"}) {
        PipeConnector c(UniquePipeName(), text, "");
        EXPECT_FALSE(c.CreateListener()) << text;
        EXPECT_EQ(c.GetStatus(), Error) << text;
        EXPECT_EQ(c.GetErrorText(), "Incorrect port value provided") << text;
        EXPECT_EQ(c.GetListenPort(), 0) << text;
        int64_t start = NowMs();
        c.StopAndWait();  // no worker was started
        EXPECT_LT(NowMs() - start, 100);
    }
}

TEST(Listener, PortTextIsReadUpToItsFirstNonDigit) {
    uint16_t free = 0;
    { platform::TcpSocket probe = HoldPortExclusively(&free); }
    LiveConnector live;
    ASSERT_TRUE(live.Start(true, " " + std::to_string(free) + "xyz"));
    EXPECT_EQ(live.port, free);
}

TEST(Listener, SecondEndpointOpensOnThePortTheFirstListensOn) {
    // The edit order: the new connector opens its endpoint before the old one stops.
    LiveConnector old;
    ASSERT_TRUE(old.Start());
    std::string portText = std::to_string(old.port);
    LiveConnector edited;
    std::string error;
    ASSERT_TRUE(edited.pipe.Listen(&error)) << error;
    edited.connector = std::make_unique<PipeConnector>(edited.pipeName, portText, "edited");
    ASSERT_TRUE(edited.connector->CreateListener(old.connector.get()))
        << edited.connector->GetErrorText();
    old.connector->StopAndWait();
    old.connector.reset();
    ASSERT_EQ(edited.connector->StartWorker().Failed(), false);
    edited.port = old.port;
    TestClient client;
    ASSERT_TRUE(edited.Attach(client));  // served by the new connector's pipe
}

TEST(Listener, AnotherConnectorOnThePortIsRefusedLikeAnyOtherHolder) {
    // Only the connector it replaces hands its endpoint over; two stored connectors on one
    // port must not both come up Ready on one socket.
    LiveConnector first;
    ASSERT_TRUE(first.Start());
    std::string portText = std::to_string(first.port);
    PipeConnector second(UniquePipeName(), portText, "");
    EXPECT_FALSE(second.CreateListener());
    EXPECT_EQ(
        second.GetErrorText(),
        "TCP port " + portText + " is used by another application! Please provide new value!");
    EXPECT_EQ(first.connector->GetStatus(), Ready);
}

TEST(Listener, LoopbackAloneWhileOnlyLocalClientsAreAdmitted) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    std::vector<std::string> where;
    for (const platform::Endpoint& at : live.connector->ListeningEndpoints())
        where.push_back(platform::AddressText(at) + " " + std::to_string(at.port));
    const std::string port = std::to_string(live.port);
    EXPECT_EQ(where, (std::vector<std::string>{"127.0.0.1 " + port, "::1 " + port}));
    TestClient elsewhere;  // another address of the machine is not offered the port at all
    EXPECT_FALSE(elsewhere.Connect(live.port, "", 0, "127.0.0.2"));
    TestClient v6;  // telnet ::1 is as local as 127.0.0.1
    ASSERT_TRUE(v6.Connect(live.port, "", 0, "::1"));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(v6.ReadCount(kAttaching.size() + kConnectedBanner.size(), 5000),
              kAttaching + kConnectedBanner);
    EXPECT_EQ(live.connector->GetClientAddress(), "::1");
}

TEST(Listener, EveryInterfaceOfBothFamiliesWhenOthersMayConnect) {
    LiveConnector live;
    live.options.allowNonLocal = true;
    live.options.maxClients = 2;
    ASSERT_TRUE(live.Start());
    for (const platform::Endpoint& at : live.connector->ListeningEndpoints()) {
        std::string address = platform::AddressText(at);
        EXPECT_TRUE(address == "::" || address == "0.0.0.0") << address;
    }
    TestClient v4, v6;
    ASSERT_TRUE(v4.Connect(live.port, "127.0.0.2"));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(v6.Connect(live.port, "", 0, "::1"));
    // An IPv4 client of the IPv6 socket is shown, and admitted, in its IPv4 form.
    EXPECT_TRUE(
        WaitUntil([&] { return live.connector->GetClientAddress() == "127.0.0.2 +1"; }, 3000))
        << live.connector->GetClientAddress();
}

TEST(Listener, AnExplicitIPv6WildcardTakesIPv6ClientsOnly) {
    LiveConnector live;
    live.options.listenAddress = "::";
    live.options.allowNonLocal = true;
    ASSERT_TRUE(live.Start());
    TestClient v4, v6;
    EXPECT_FALSE(v4.Connect(live.port));  // "there only": no IPv4 client on the side
    EXPECT_TRUE(v6.Connect(live.port, "", 0, "::1"));
}

TEST(Listener, AnAddressOfItsOwnOrAClearRefusal) {
    LiveConnector live;
    live.options.listenAddress = "127.0.0.1";
    live.options.allowNonLocal = true;
    ASSERT_TRUE(live.Start());
    auto where = live.connector->ListeningEndpoints();
    ASSERT_EQ(where.size(), 1u);
    EXPECT_EQ(platform::AddressText(where[0]), "127.0.0.1");
    ConnectorSettings bad;
    bad.pipeName = UniquePipeName();
    bad.portText = std::to_string(FreePort());
    bad.listenAddress = "300.1.1.1";
    PipeConnector c(bad);
    EXPECT_FALSE(c.CreateListener());
    EXPECT_EQ(c.GetStatus(), Error);
    EXPECT_EQ(c.GetErrorText(), "Incorrect listen address provided");
}

#ifndef _WIN32
TEST(Listener, AcceptThatRunsOutOfDescriptorsKeepsListeningAndServing) {
    LiveConnector live;
    live.options.maxClients = 2;
    live.options.notices = false;  // the served client reads the pipe's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient served;
    ASSERT_TRUE(live.Attach(served));
    // The process runs out of file descriptors with a second client in the backlog: the
    // worker's accept fails with EMFILE, again and again until one is free.
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    int probe = open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    close(probe);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe + 1);
    setrlimit(RLIMIT_NOFILE, &tight);
    TestClient waiting;
    bool connected = waiting.Connect(live.port);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = live.connector->GetStatus();
    std::string error = live.connector->GetErrorText();
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(connected);
    EXPECT_EQ(status, Connected);
    EXPECT_EQ(error.rfind("Accept call failed (", 0), 0u) << error;
    // The client being served kept its turn, and the one waiting is taken in once it can be.
    ASSERT_TRUE(live.PipeWrite("still here"));
    EXPECT_EQ(served.ReadCount(10, 3000), "still here");
    EXPECT_EQ(waiting.ReadCount(kAttaching.size() + kConnectedBanner.size(), 3000),
              kAttaching + kConnectedBanner);
}
#endif

}  // namespace
}  // namespace tolvi::test
