// The connector commands' flows over the model, with the windows' part played by a script:
// which dialogs and boxes come in which order with which texts, what the list holds after
// each command, who owns each connector, and when the configuration is saved. Real
// connectors on real ports; run under ASan, nothing may leak and nothing may be left running.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "model/ConnectorCommands.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorHost.h"
#include "support/Settings.h"
#include "support/RecordingObserver.h"
#include "support/TestClient.h"

namespace tolvi::test {
namespace {

// What the windows would do, scripted: each dialog and each box takes the next answer.
class ScriptedHost : public CommandHost, public ConnectorListObserver {
  public:
    using DialogAnswer = std::function<bool(ConnectorSettings*)>;

    int selected = -1;
    std::deque<DialogAnswer> dialogs;
    std::deque<bool> answers;
    std::vector<std::string> shown;  // "dialog Add", "box caption: text", "row +1", ...
    int saves = 0;
    bool refuseRows = false;
    RecordingObserver connectorEvents;

    int SelectedRow() const override { return selected; }
    bool RunConnectorDialog(DialogKind kind, ConnectorSettings* settings,
                            const std::vector<RowKey>& rows, int skipRow) override {
        shown.push_back(std::string("dialog ") + (kind == DialogKind::Add ? "Add" : "Edit") +
                        " rows=" + std::to_string(rows.size()) +
                        " skip=" + std::to_string(skipRow) + " pipe=" + settings->pipeName);
        if (dialogs.empty())
            return false;
        DialogAnswer next = dialogs.front();
        dialogs.pop_front();
        return next(settings);
    }
    bool RunConsoleOptionsDialog(ConnectorSettings* settings) override {
        shown.push_back("dialog Console options clients=" + std::to_string(settings->maxClients));
        if (dialogs.empty())
            return false;
        DialogAnswer next = dialogs.front();
        dialogs.pop_front();
        return next(settings);
    }
    bool Ask(const std::string& text, BoxKind, const char* caption) override {
        shown.push_back(std::string("box ") + (caption ? caption : "(title)") + ": " + text);
        if (answers.empty())
            return false;
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void SaveConfiguration() override { ++saves; }
    ConnectorObserver* Observer() override { return &connectorEvents; }

    bool OnRowAppended(int row, const PipeConnector&) override {
        shown.push_back("row appended " + std::to_string(row));
        return !refuseRows;
    }
    void OnRowReplaced(int row, const PipeConnector&) override {
        shown.push_back("row replaced " + std::to_string(row));
    }
    void OnRowRemoved(int row) override { shown.push_back("row removed " + std::to_string(row)); }
};

ScriptedHost::DialogAnswer Confirm(const std::string& pipe, uint16_t port) {
    return [=](ConnectorSettings* s) {
        s->pipeName = pipe;
        s->portText = std::to_string(port);
        s->description = "from the dialog";
        return true;
    };
}

ScriptedHost::DialogAnswer Keep() {
    return [](ConnectorSettings*) { return true; };
}

// True when nothing listens on port any more.
bool PortIsFree(uint16_t port) {
    TestClient probe;
    return !probe.Connect(port);
}

class ConnectorCommandsTest : public testing::Test {
  protected:
    void SetUp() override { list.SetObserver(&host); }
    void TearDown() override { list.SetObserver(nullptr); }

    // A connector already in the list, running on a port of its own.
    uint16_t AddRunning(const std::string& pipe) {
        uint16_t port = FreePort();
        int row = list.Append(
            BuildConnector(SettingsFor(pipe, std::to_string(port)), &host.connectorEvents));
        EXPECT_TRUE(StartConnector(list.At(row)));
        host.shown.clear();
        return port;
    }

    ScriptedHost host;
    ConnectorList list;
    ConnectorCommands commands{list, host};
};

TEST_F(ConnectorCommandsTest, NewCancelledAddsNothingAndSaves) {
    commands.New();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.shown, (std::vector<std::string>{"dialog Add rows=0 skip=-1 pipe="}));
}

TEST_F(ConnectorCommandsTest, NewConfirmedAppendsARunningConnector) {
    uint16_t port = FreePort();
    host.dialogs.push_back(Confirm("\\\\.\\pipe\\new", port));
    commands.New();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).GetPipeName(), "\\\\.\\pipe\\new");
    EXPECT_EQ(list.At(0).GetDescription(), "from the dialog");
    EXPECT_EQ(list.At(0).GetStatus(), Ready);
    EXPECT_EQ(host.saves, 1);
    TestClient client;  // its worker serves
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
}

TEST_F(ConnectorCommandsTest, NewOnATakenPortShowsTheErrorAndTheDialogAgain) {
    uint16_t taken = 0;
    platform::TcpSocket holder = HoldPortExclusively(&taken);
    ASSERT_TRUE(holder.IsValid());
    host.dialogs.push_back(Confirm("\\\\.\\pipe\\new", taken));
    host.answers.push_back(true);  // OK on the error
    commands.New();                // the second dialog is cancelled
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(host.saves, 1);
    std::string port = std::to_string(taken);
    EXPECT_EQ(host.shown, (std::vector<std::string>{
                              "dialog Add rows=0 skip=-1 pipe=",
                              "box Configuration Error!: TCP port " + port +
                                  " is used by another application! Please provide new value!",
                              "dialog Add rows=0 skip=-1 pipe=\\\\.\\pipe\\new"}));
}

TEST_F(ConnectorCommandsTest, NewWhoseRowCannotBeShownLeavesNothingRunning) {
    uint16_t port = FreePort();
    host.dialogs.push_back(Confirm("\\\\.\\pipe\\new", port));
    host.refuseRows = true;
    commands.New();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(PortIsFree(port));
    EXPECT_EQ(host.shown.back(),
              "box Configuration Error!: The new connector could not be added to the list.");
    EXPECT_EQ(host.saves, 1);
}

TEST_F(ConnectorCommandsTest, EditReplacesTheConnectorInItsRowEvenOnTheSamePort) {
    AddRunning("\\\\.\\pipe\\first");
    uint16_t port = AddRunning("\\\\.\\pipe\\second");
    const PipeConnector* before = &list.At(1);
    host.selected = 1;
    host.dialogs.push_back([](ConnectorSettings* s) {
        s->description = "edited";
        s->allowNonLocal = true;
        return true;
    });
    commands.Edit();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_NE(&list.At(1), before);  // a new connector, even for the same pipe and port
    EXPECT_EQ(list.At(1).GetDescription(), "edited");
    EXPECT_TRUE(list.At(1).AllowsNonLocal());
    EXPECT_EQ(list.At(1).GetStatus(), Ready);
    EXPECT_EQ(list.At(1).GetListenPort(), port);
    EXPECT_EQ(host.shown,
              (std::vector<std::string>{"dialog Edit rows=2 skip=1 pipe=\\\\.\\pipe\\second",
                                        "row replaced 1"}));
    EXPECT_EQ(host.saves, 1);
    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
}

TEST_F(ConnectorCommandsTest, EditWithoutSelectionOrDeclinedChangesAndSavesNothing) {
    uint16_t port = AddRunning("\\\\.\\pipe\\a");
    commands.Edit();  // nothing selected
    EXPECT_TRUE(host.shown.empty());

    TestClient client;  // a client waits for the missing pipe: the connector has a client
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return !list.At(0).GetClientAddress().empty(); }, 3000));
    host.selected = 0;
    host.answers.push_back(false);
    commands.Edit();
    EXPECT_EQ(host.shown, (std::vector<std::string>{
                              "box Warning!: Client 127.0.0.1 will be disconnected! Procced? \n"}));
    EXPECT_EQ(host.saves, 0);

    // Accepted, then the dialog cancelled: the client stays, and the configuration is saved.
    host.shown.clear();
    host.answers.push_back(true);
    commands.Edit();
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(list.At(0).GetClientAddress(), "127.0.0.1");
}

TEST_F(ConnectorCommandsTest, AnEditThatCannotListenLeavesTheOldConnectorServing) {
    uint16_t port = AddRunning("\\\\.\\pipe\\a");
    const PipeConnector* before = &list.At(0);
    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return !list.At(0).GetClientAddress().empty(); }, 3000));
    uint16_t taken = 0;
    platform::TcpSocket holder = HoldPortExclusively(&taken);
    host.selected = 0;
    host.answers = {true, true};  // drop the client, and OK on the error
    host.dialogs.push_back([taken](ConnectorSettings* s) {
        s->portText = std::to_string(taken);
        return true;
    });
    commands.Edit();  // the dialog again, cancelled
    EXPECT_EQ(&list.At(0), before);
    EXPECT_EQ(list.At(0).GetListenPort(), port);
    EXPECT_FALSE(client.WaitClosed(300));
    EXPECT_EQ(list.At(0).GetClientAddress(), "127.0.0.1");
}

TEST_F(ConnectorCommandsTest, DeleteRemovesTheRowBeforeStoppingItsConnector) {
    uint16_t port = AddRunning("\\\\.\\pipe\\a");
    AddRunning("\\\\.\\pipe\\b");
    host.selected = 0;  // not the last row: the rows after it move up
    host.answers = {false, true};
    commands.Delete();  // declined
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(host.saves, 0);
    commands.Delete();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).GetPipeName(), "\\\\.\\pipe\\b");
    EXPECT_TRUE(PortIsFree(port));
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.shown,
              (std::vector<std::string>{
                  "box Delete Connector?: Really want to delete connector for pipe \\\\.\\pipe\\a?",
                  "box Delete Connector?: Really want to delete connector for pipe \\\\.\\pipe\\a?",
                  "row removed 0"}));
}

TEST_F(ConnectorCommandsTest, ResetTellsWhatIsMissingAndRestartsTheConnector) {
    commands.Reset();  // no rows: nothing at all
    EXPECT_TRUE(host.shown.empty());
    uint16_t port = AddRunning("\\\\.\\pipe\\r");
    commands.Reset();
    host.selected = 0;
    commands.Reset();
    EXPECT_EQ(host.shown,
              (std::vector<std::string>{
                  "box Delete: Select connection to be cancelled",
                  "box Not connected: Pipe \\\\.\\pipe\\r is not connected to any client"}));

    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return !list.At(0).GetClientAddress().empty(); }, 3000));
    host.shown.clear();
    host.answers.push_back(true);
    commands.Reset();
    EXPECT_EQ(host.shown, (std::vector<std::string>{
                              "box Warning!: Client 127.0.0.1 will be disconnected from pipe "
                              "\\\\.\\pipe\\r"}));
    EXPECT_TRUE(client.WaitClosed(3000));
    EXPECT_EQ(list.At(0).GetClientAddress(), "");
    EXPECT_EQ(list.At(0).GetStatus(), Ready);
    EXPECT_EQ(host.saves, 0);  // Reset saves nothing
    TestClient again;          // and the connector serves again
    ASSERT_TRUE(again.Connect(port));
    EXPECT_EQ(again.ReadCount(kAttaching.size(), 3000), kAttaching);
}

TEST_F(ConnectorCommandsTest, ConsoleOptionsRebuildOnlyWhatChangedAndSave) {
    uint16_t port = AddRunning("\\\\.\\pipe\\shared");
    host.selected = 0;
    commands.ConsoleOptions();  // cancelled: nothing changes, nothing is saved
    EXPECT_EQ(host.saves, 0);

    const PipeConnector* before = &list.At(0);
    host.dialogs.push_back(Keep());
    commands.ConsoleOptions();  // confirmed unchanged: saved, the same connector
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(&list.At(0), before);

    TestClient client;  // a client is there: changing an option asks first
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return !list.At(0).GetClientAddress().empty(); }, 3000));
    host.shown.clear();
    host.dialogs.push_back([](ConnectorSettings* s) {
        s->maxClients = 4;
        s->replayKiB = 16;
        return true;
    });
    host.answers.push_back(true);
    commands.ConsoleOptions();
    EXPECT_EQ(host.shown, (std::vector<std::string>{
                              "dialog Console options clients=1",
                              "box Warning!: Client 127.0.0.1 will be disconnected! Procced? \n",
                              "row replaced 0"}));
    EXPECT_NE(&list.At(0), before);
    EXPECT_EQ(list.At(0).Settings().maxClients, 4);
    EXPECT_EQ(list.At(0).Settings().replayKiB, 16);
    EXPECT_EQ(list.At(0).Settings().pipeName, "\\\\.\\pipe\\shared");
    EXPECT_EQ(host.saves, 2);
    EXPECT_TRUE(client.WaitClosed(3000));

    const PipeConnector* replaced = &list.At(0);
    host.dialogs.push_back([](ConnectorSettings* s) {
        s->replayKiB = 32;  // the replay alone
        return true;
    });
    commands.ConsoleOptions();
    EXPECT_NE(&list.At(0), replaced);
    EXPECT_EQ(list.At(0).Settings().replayKiB, 32);
    EXPECT_EQ(host.saves, 3);

    replaced = &list.At(0);
    host.dialogs.push_back([](ConnectorSettings* s) {
        s->telnet = false;  // any option of the table, Telnet alone as much as the others
        return true;
    });
    commands.ConsoleOptions();
    EXPECT_NE(&list.At(0), replaced);
    EXPECT_FALSE(list.At(0).Settings().telnet);
}

TEST(ConnectorListOwnership, EndingTheListStopsAndFreesEveryConnectorAtOnce) {
    std::vector<uint16_t> ports;
    int64_t took = 0;
    {
        ConnectorHost host(nullptr);
        ConnectorList& list = host.Connectors();
        std::vector<ConnectorSettings> stored;
        for (int i = 0; i < 8; ++i) {
            ports.push_back(FreePort());
            stored.push_back(
                SettingsFor("\\\\.\\pipe\\own" + std::to_string(i), std::to_string(ports.back())));
        }
        stored.push_back(SettingsFor("\\\\.\\pipe\\bad", "abc"));
        std::vector<ConnectorHost::Failure> failures = host.Start(stored);
        ASSERT_EQ(list.Count(), 9);
        ASSERT_EQ(failures.size(), 1u) << failures[0].portText << ": " << failures[0].text;
        EXPECT_TRUE(failures[0].listener);
        EXPECT_EQ(list.At(8).GetStatus(), Error);  // listed all the same
        TestClient client;  // one of them serves a client while the list ends
        ASSERT_TRUE(client.Connect(ports[3]));
        int64_t start = NowMs();
        list.StopAll();
        took = NowMs() - start;
    }
    EXPECT_LT(took, 9 * 50);
    for (uint16_t port : ports)
        EXPECT_TRUE(PortIsFree(port)) << port;
}

TEST(ConnectorHostReload, AppliesOnlyTheDifference) {
    ConnectorHost host(nullptr);
    uint16_t kept = FreePort(), changed = FreePort(), gone = FreePort(), added = FreePort();
    auto settings = [](const char* pipe, uint16_t port, const char* description = "") {
        return SettingsFor(std::string("\\\\.\\pipe\\") + pipe, std::to_string(port), description);
    };
    EXPECT_TRUE(
        host.Start({settings("kept", kept), settings("changed", changed), settings("gone", gone)})
            .empty());
    const PipeConnector* keptConnector = &host.Connectors().At(0);
    TestClient client;  // served by the connector that stays as it is
    ASSERT_TRUE(client.Connect(kept));
    ASSERT_TRUE(WaitUntil([&] { return !keptConnector->GetClientAddress().empty(); }, 3000));

    ConnectorHost::Difference d = host.Reload(
        {settings("added", added), settings("kept", kept), settings("changed", changed, "new")});
    EXPECT_EQ(d.unchanged, 1);
    EXPECT_EQ(d.changed, 1);
    EXPECT_EQ(d.removed, 1);
    EXPECT_EQ(d.started, 1);
    EXPECT_TRUE(d.failures.empty());
    ASSERT_EQ(host.Connectors().Count(), 3);
    EXPECT_EQ(host.Connectors().At(0).GetPipeName(), "\\\\.\\pipe\\added");
    EXPECT_EQ(&host.Connectors().At(1), keptConnector);
    EXPECT_EQ(host.Connectors().At(2).GetDescription(), "new");
    EXPECT_FALSE(client.WaitClosed(300)) << "the unchanged connector dropped its client";
    EXPECT_EQ(keptConnector->GetClientAddress(), "127.0.0.1");
    EXPECT_TRUE(PortIsFree(gone));
    for (uint16_t port : {added, changed}) {
        TestClient probe;
        EXPECT_TRUE(probe.Connect(port)) << port;
    }
}

TEST(ConnectorHostReload, AConnectorMovedToAnotherPortIsChangedInItsPlace) {
    ConnectorHost host(nullptr);
    uint16_t first = FreePort(), second = FreePort();
    EXPECT_TRUE(host.Start({SettingsFor("\\\\.\\pipe\\vm", std::to_string(first))}).empty());
    ConnectorHost::Difference d =
        host.Reload({SettingsFor("\\\\.\\pipe\\vm", std::to_string(second))});
    EXPECT_EQ(d.changed, 1);
    EXPECT_EQ(d.started + d.removed + d.unchanged, 0);
    EXPECT_EQ(host.Connectors().At(0).GetListenPort(), second);
    EXPECT_TRUE(PortIsFree(first));
}

TEST(ConnectorHostReload, APortTheServiceServesIsNeverTakenHere) {
    uint16_t port = FreePort(), watch = FreePort();
    ReserveServicePorts({port, watch});
    ConnectorHost host(nullptr);
    ConnectorSettings watching = SettingsFor("\\\\.\\pipe\\watched", std::to_string(FreePort()));
    watching.watchPort = watch;  // a watch port is a port the service may serve too
    std::vector<ConnectorHost::Failure> failures =
        host.Start({SettingsFor("\\\\.\\pipe\\mine", std::to_string(port)), watching});
    ReserveServicePorts({});
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(host.Connectors().At(0).GetStatus(), Error);
    EXPECT_EQ(host.Connectors().At(0).GetErrorText(),
              "Port " + std::to_string(port) + " is served by the tolvi service");
    EXPECT_EQ(host.Connectors().At(1).GetErrorText(),
              "Port " + std::to_string(watch) + " is served by the tolvi service");
    EXPECT_TRUE(PortIsFree(port));
    EXPECT_TRUE(PortIsFree(watch));
}

}  // namespace
}  // namespace tolvi::test
