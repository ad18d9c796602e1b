// Opening listening endpoints: ports in use, odd port texts, a second endpoint on the same
// port while the first listens, and a failing accept.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

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

TEST(Listener, PortTextWithoutDigitsLetsTheSystemChoose) {
    LiveConnector live;
    ASSERT_TRUE(live.Start(true, "abc"));
    EXPECT_NE(live.port, 0);
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    EXPECT_EQ(live.connector->GetPortText(), "abc");
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
    ASSERT_TRUE(edited.connector->CreateListener()) << edited.connector->GetErrorText();
    old.connector->StopAndWait();
    old.connector.reset();
    ASSERT_EQ(edited.connector->StartWorker(), 0u);
    edited.port = old.port;
    TestClient client;
    ASSERT_TRUE(edited.Attach(client));  // served by the new connector's pipe
}

#ifndef _WIN32
TEST(Listener, FailingAcceptEndsTheWorkerInError) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    // The client is connected and waits in the backlog; then the process runs out of file
    // descriptors, so the worker's accept fails with EMFILE.
    TestClient client;
    live.connector->StopAndWait();
    ASSERT_TRUE(client.Connect(live.port));
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    int probe = open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    close(probe);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe);
    setrlimit(RLIMIT_NOFILE, &tight);
    live.connector->StartWorker();
    bool failed = WaitUntil([&] { return live.connector->GetStatus() == Error; }, 3000);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(failed);
    EXPECT_EQ(live.connector->GetErrorText().rfind("Accept call failed (", 0), 0u)
        << live.connector->GetErrorText();
    int64_t start = NowMs();
    live.connector->StopAndWait();
    EXPECT_LT(NowMs() - start, 100);
}
#endif

}  // namespace
}  // namespace tolvi::test
