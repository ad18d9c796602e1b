// Admission on a live connector: clients from 127.0.0.2 stand for non-local hosts.
#include <gtest/gtest.h>

#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

const char kOther[] = "127.0.0.2";

TEST(ConnectorAdmission, NonLocalClientIsRefusedWithOneLineAndThePipeStaysShut) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port, kOther));
    EXPECT_EQ(client.ReadUntil("\n", 3000),
              "*** Host 127.0.0.2 is not authorized to access this service!\r\n");
    EXPECT_TRUE(client.WaitClosed(3000));
    EXPECT_FALSE(live.pipe.WaitClient(300));
    EXPECT_EQ(live.connector->GetStatus(), Ready);
    EXPECT_EQ(live.connector->GetClientAddress(), "");
    // The connector goes on serving the local client.
    TestClient local;
    ASSERT_TRUE(live.Attach(local));
}

TEST(ConnectorAdmission, ListedNonLocalClientIsAdmitted) {
    LiveConnector live;
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error)) << error;
    ConnectorSettings settings;
    settings.pipeName = live.pipeName;
    settings.portText = std::to_string(FreePort());
    settings.allowNonLocal = settings.listOnly = true;
    settings.clientList = "10.0.0.5; 127.0.0.2";
    live.connector = std::make_unique<PipeConnector>(settings);
    ASSERT_TRUE(live.connector->CreateListener());
    live.port = live.connector->GetListenPort();
    ASSERT_EQ(live.connector->StartWorker().Failed(), false);

    TestClient listed;
    ASSERT_TRUE(listed.Connect(live.port, kOther));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string expected = kAttaching + kConnectedBanner;
    EXPECT_EQ(listed.ReadCount(expected.size(), 5000), expected);
    EXPECT_EQ(live.connector->GetClientAddress(), kOther);
    listed.Close();
    live.pipe.DropClient();

    TestClient unlisted;
    ASSERT_TRUE(unlisted.Connect(live.port, "127.0.0.3"));
    EXPECT_EQ(unlisted.ReadUntil("\n", 3000),
              "*** Host 127.0.0.3 is not authorized to access this service!\r\n");
}

}  // namespace
}  // namespace tolvi::test
