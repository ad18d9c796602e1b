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
