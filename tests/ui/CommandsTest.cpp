// The connector commands end to end in a real window, with their dialogs and message boxes
// answered as a user would, and the registry after each of them; the Clients dialog on a live
// shared console.
#include <gtest/gtest.h>

#include <cstdio>

#include "config/ConfigurationStore.h"
#include "platform/RegistryStore.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "support/LiveConnector.h"
#include "support/Settings.h"
#include "table/ConnectorView.h"
#include "ui/WindowTestSupport.h"

namespace tolvi::test {
namespace {

class Commands : public testing::Test {
  protected:
    void SetUp() override {
        platform::DeleteRegistryKey(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
        store = platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey);
        ASSERT_TRUE(host.Create(900, 400));
        RECT empty{0, 0, 0, 0};
        ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, empty,
                                host.Hwnd(), ID_FIRST_PANE));
        MoveWindow(view.Hwnd(), 0, 0, 880, 300, TRUE);
        view.FitListToClient();
        view.SetSaveHandler([this] {
            ++saves;
            SaveConfiguration(*store, connectors.Settings(), AppOptions{});
        });
    }
    void TearDown() override {
        connectors.Clear();  // every connector stopped and freed, its row gone with it
        view.DestroyWindow();
    }
    PipeConnector* Row(int row) { return &connectors.At(row); }

    void Command(UINT id) { SendMessageA(view.Hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // Does what starts a command while a user answers its dialogs and boxes; what the user saw.
    std::vector<SeenWindow> RunWhile(const std::function<void()>& start, std::vector<Step> steps) {
        std::vector<SeenWindow> seen;
        std::thread user = Script(std::move(steps), &seen);
        start();
        user.join();
        return seen;
    }
    std::vector<SeenWindow> Run(UINT id, std::vector<Step> steps) {
        return RunWhile([=] { Command(id); }, std::move(steps));
    }
    // A double-click on a cell of the list, as the mouse gives it to the list.
    void DoubleClick(int row, int column) {
        RECT cell{LVIR_LABEL, column, 0, 0};
        SendMessageA(view.List().Hwnd(), LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
        SendMessageA(view.List().Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                     MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    }
    static void Select(HWND list, int row) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
        SendMessageA(list, LVM_SETITEMSTATE, row >= 0 ? row : -1, reinterpret_cast<LPARAM>(&item));
    }
    void Select(int row) { Select(view.List().Hwnd(), row); }
    std::string Stored(const std::string& name) {
        platform::StoredValue value;
        store->OpenForRead();
        bool found = !store->QueryValue(name, &value).Failed();
        store->Close();
        return found ? std::string(value.bytes.c_str()) : "<missing>";
    }
    // Fills the Add or Edit dialog's texts; pipeId is 1007 (Add) or 1018 (Edit).
    static std::function<void(HWND)> Fill(int pipeId, std::string pipe, std::string port,
                                          std::string description, int confirmId) {
        return [=](HWND d) {
            SetText(d, pipeId, pipe);
            SetText(d, IDC_PORT, port);
            SetText(d, IDC_DESCRIPTION, description);
            PressButton(d, confirmId);
        };
    }
    static std::function<void(HWND)> Press(int id) {
        return [=](HWND d) { PressButton(d, id); };
    }
    // Adds a running connector through the New command.
    PipeConnector* AddThroughDialog(const std::string& pipe, const std::string& port) {
        std::vector<SeenWindow> seen =
            Run(ID_CONNECTOR_NEW,
                {{"Add pipe connector", Fill(IDC_ADD_PIPE_NAME, pipe, port, "d", IDC_ADD)}});
        return view.GetRowCount() ? Row(view.GetRowCount() - 1) : nullptr;
    }

    HostWindow host;
    ConnectorList connectors;
    ConnectorView view{connectors};
    std::unique_ptr<platform::KeyValueStore> store;
    int saves = 0;
};

std::string FreePortText() {
    uint16_t port = 0;
    platform::TcpSocket probe = HoldPortExclusively(&port);
    return std::to_string(port);
}

TEST_F(Commands, NewAddsARunningConnectorAndSaves) {
    std::string port = FreePortText();
    PipeConnector* c = AddThroughDialog("\\\\.\\pipe\\new-one", port);
    ASSERT_EQ(view.GetRowCount(), 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetStatus(), Ready);
    EXPECT_EQ(view.List().GetItemText(0, 0), "\\\\.\\pipe\\new-one");
    EXPECT_EQ(view.List().GetItemText(0, 1), port);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Stored("PipeNum"), "1");
    EXPECT_EQ(Stored("PipeName0"), "\\\\.\\pipe\\new-one");
    EXPECT_EQ(Stored("Port0"), port);
}

TEST_F(Commands, NewCancelledAddsNothingButSaves) {
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW, {{"Add pipe connector", Press(IDC_CANCEL)}});
    EXPECT_EQ(view.GetRowCount(), 0);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Stored("PipeNum"), "0");
}

TEST_F(Commands, NewOnAPortAnotherProgramHoldsShowsTheErrorAndTheDialogAgain) {
    uint16_t held = 0;
    platform::TcpSocket holder = HoldPortExclusively(&held);
    std::string port = std::to_string(held);
    std::string again;
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW,
            {{"Add pipe connector", Fill(IDC_ADD_PIPE_NAME, "\\\\.\\pipe\\x", port, "x", IDC_ADD)},
             {"Configuration Error!", Press(IDOK)},
             {"Add pipe connector", [&](HWND d) {
                  again = GetText(d, IDC_ADD_PIPE_NAME) + " " + GetText(d, IDC_PORT);
                  PressButton(d, IDCANCEL);
              }}});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text,
              "TCP port " + port + " is used by another application! Please provide new value!");
    EXPECT_EQ(seen[1].icon, LoadIcon(nullptr, IDI_EXCLAMATION));
    EXPECT_EQ(again, "\\\\.\\pipe\\x " + port);
    EXPECT_EQ(view.GetRowCount(), 0);
    EXPECT_EQ(saves, 1);
}

TEST_F(Commands, DialogChecksComeBeforeAnyConnectorIsBuilt) {
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW,
            {{"Add pipe connector", Fill(IDC_ADD_PIPE_NAME, "\\\\.\\pipe\\z", "0", "", IDC_ADD)},
             {"Error!", Press(IDOK)},
             {"Add pipe connector", Press(IDC_CANCEL)}});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text, "Incorrect port value provided");
    EXPECT_EQ(seen[1].icon, LoadIcon(nullptr, IDI_HAND));
    EXPECT_EQ(view.GetRowCount(), 0);
}

TEST_F(Commands, EditWithoutAClientReplacesTheConnectorInPlace) {
    std::string port = FreePortText();
    PipeConnector* before = AddThroughDialog("\\\\.\\pipe\\edit-me", port);
    AddThroughDialog("\\\\.\\pipe\\other", FreePortText());
    ASSERT_EQ(view.GetRowCount(), 2);
    Select(0);
    std::string shown;
    saves = 0;
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_EDIT, {{"Edit pipe connector", [&](HWND d) {
                                     shown = GetText(d, IDC_EDIT_PIPE_NAME) + "|" +
                                             GetText(d, IDC_PORT);
                                     SetText(d, IDC_DESCRIPTION, "renamed");
                                     PressButton(d, IDC_SAVE);
                                 }}});
    EXPECT_EQ(shown, "\\\\.\\pipe\\edit-me|" + port);
    EXPECT_EQ(view.GetRowCount(), 2);
    EXPECT_NE(Row(0), before);  // unchanged port, new connector, same row
    EXPECT_EQ(view.List().GetItemText(0, 6), "renamed");
    EXPECT_EQ(Row(0)->GetStatus(), Ready);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Stored("Description0"), "renamed");
}

TEST_F(Commands, EditWithAClientWarnsFirst) {
    LiveConnector live;
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error));
    std::string port = FreePortText();
    PipeConnector* c = AddThroughDialog(live.pipeName, port);
    ASSERT_NE(c, nullptr);
    live.connector.reset();
    live.port = static_cast<uint16_t>(std::stoi(port));
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    Select(0);
    saves = 0;

    // Declined: nothing changes, nothing is saved.
    std::vector<SeenWindow> seen = Run(ID_CONNECTOR_EDIT, {{"Warning!", Press(IDNO)}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Client 127.0.0.1 will be disconnected! Procced? \n");
    EXPECT_EQ(seen[0].icon, LoadIcon(nullptr, IDI_QUESTION));
    EXPECT_EQ(saves, 0);

    // Accepted, then cancelled: the client stays, the configuration is saved.
    seen = Run(ID_CONNECTOR_EDIT,
               {{"Warning!", Press(IDYES)}, {"Edit pipe connector", Press(IDCANCEL)}});
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Row(0), c);
    EXPECT_EQ(c->GetClientAddress(), "127.0.0.1");

    // Accepted and saved unchanged: the client is dropped, the counters start again.
    ASSERT_TRUE(live.PipeWrite("abc"));
    EXPECT_EQ(client.ReadCount(3, 3000), "abc");
    seen = Run(ID_CONNECTOR_EDIT,
               {{"Warning!", Press(IDYES)}, {"Edit pipe connector", Press(IDC_SAVE)}});
    EXPECT_TRUE(client.WaitClosed(3000));
    EXPECT_EQ(view.List().GetItemText(0, 3), "0");
    EXPECT_EQ(Row(0)->GetBytesSent(), 0);
    EXPECT_EQ(Row(0)->GetStatus(), Ready);
    EXPECT_EQ(saves, 2);
}

TEST_F(Commands, TextsLongerThanTheStoreKeepsAreRefusedByBothDialogs) {
    // A text put in by a program, as Browse does, passes the edit boxes' own limit.
    const std::string tooLong(300, 'l');
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW, {{"Add pipe connector", Fill(IDC_ADD_PIPE_NAME, "\\\\.\\pipe\\long",
                                                           FreePortText(), tooLong, IDC_ADD)},
                               {"Error!", Press(IDOK)},
                               {"Add pipe connector", Press(IDC_CANCEL)}});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text, "Description is too long: at most 254 characters can be stored");
    EXPECT_EQ(view.GetRowCount(), 0);

    AddThroughDialog("\\\\.\\pipe\\logged", FreePortText());
    Select(0);
    saves = 0;
    seen = Run(ID_CONNECTOR_CONSOLE, {{"Console options",
                                       [&](HWND d) {
                                           SetText(d, IDC_LOG_FILE, "C:\\" + tooLong);
                                           PressButton(d, IDOK);
                                       }},
                                      {"Error!", Press(IDOK)},
                                      {"Console options", Press(IDCANCEL)}});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text, "Log file is too long: at most 254 characters can be stored");
    EXPECT_EQ(Row(0)->Settings().logFile, "");
    EXPECT_EQ(saves, 0);
}

TEST_F(Commands, EditToAnotherRowsPortIsRefusedByTheDialog) {
    AddThroughDialog("\\\\.\\pipe\\a", FreePortText());
    std::string otherPort = FreePortText();
    AddThroughDialog("\\\\.\\pipe\\b", otherPort);
    Select(0);
    PipeConnector* before = Row(0);
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_EDIT, {{"Edit pipe connector",
                                 [&](HWND d) {
                                     SetText(d, IDC_PORT, otherPort);
                                     PressButton(d, IDC_SAVE);
                                 }},
                                {"Error!", Press(IDOK)},
                                {"Edit pipe connector", Press(IDCANCEL)}});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].text, "Port " + otherPort + " is in use for pipe \\\\.\\pipe\\b!");
    EXPECT_EQ(Row(0), before);
}

TEST_F(Commands, DoubleClickOutsideTheClientCellEditsTheSelectedRow) {
    AddThroughDialog("\\\\.\\pipe\\a", FreePortText());
    Select(0);
    saves = 0;
    std::string shown;
    RunWhile([&] { DoubleClick(0, 0); }, {{"Edit pipe connector", [&](HWND d) {
                                               shown = GetText(d, IDC_EDIT_PIPE_NAME);
                                               PressButton(d, IDCANCEL);
                                           }}});
    EXPECT_EQ(shown, "\\\\.\\pipe\\a");
    EXPECT_EQ(saves, 1);  // a cancelled edit saves all the same
}

TEST_F(Commands, ClientsListsEachClientAndDisconnectsTheSelectedOne) {
    const std::string pipeName = UniquePipeName();
    tools::PipeServer pipe(pipeName);
    std::string error;
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    ConnectorSettings settings = SettingsFor(pipeName, FreePortText(), "shared", true);
    settings.maxClients = 2;
    settings.listenAddress = "127.0.0.1";  // where a client from 127.0.0.2 arrives too
    auto made = std::make_unique<PipeConnector>(settings);
    ASSERT_TRUE(made->CreateListener()) << made->GetErrorText();
    ASSERT_FALSE(made->StartWorker().Failed());
    const uint16_t port = made->GetListenPort();
    ASSERT_EQ(connectors.Append(std::move(made)), 0);
    TestClient stays, goes;
    ASSERT_TRUE(stays.Connect(port));
    ASSERT_TRUE(pipe.WaitClient(5000));
    ASSERT_TRUE(goes.Connect(port, "127.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return Row(0)->Clients().size() == 2; }, 3000));
    ASSERT_TRUE(goes.Send("ab") && pipe.Write("hello", 5));
    for (TestClient* c : {&stays, &goes})
        ASSERT_NE(c->ReadUntil("hello", 5000).find("hello"), std::string::npos);
    ASSERT_TRUE(WaitUntil([&] { return Row(0)->Clients().at(1).bytesFromClient == 2; }, 3000));
    Select(0);

    auto rows = [](HWND list) {  // each client's cells but the time it came
        ui::ListView shown;
        shown.Attach(list);
        std::vector<std::string> texts;
        for (int i = 0; i < shown.GetItemCount(); ++i) {
            texts.push_back(shown.GetItemText(i, 0));
            for (int column : {1, 2, 4, 5})
                texts.back() += "|" + shown.GetItemText(i, column);
        }
        return texts;
    };
    std::vector<std::string> listed, left;
    bool enabledAtStart = true, enabledOnSelection = false;
    std::vector<SeenWindow> seen =
        RunWhile([&] { DoubleClick(0, 2); },  // on the "Client IP" cell
                 {{"Clients", [&](HWND d) {
                       HWND list = GetDlgItem(d, IDC_CLIENTS);
                       listed = rows(list);
                       enabledAtStart = IsWindowEnabled(GetDlgItem(d, IDC_DISCONNECT));
                       Select(list, 1);
                       enabledOnSelection = IsWindowEnabled(GetDlgItem(d, IDC_DISCONNECT));
                       PressButton(d, IDC_DISCONNECT);
                       // The dialog follows the list's refresh, asked for as its timer asks.
                       WaitUntil(
                           [&] {
                               SendMessageW(view.Hwnd(), WM_TIMER, 1, 0);
                               return rows(list).size() == 1;
                           },
                           3000);
                       left = rows(list);
                       PressButton(d, IDCANCEL);
                   }}});
    ASSERT_EQ(seen.size(), 1u);
    // The title, and no COM port line: no client has set one.
    EXPECT_EQ(seen[0].text, pipeName + " on port " + std::to_string(port) + ": shared|");
    EXPECT_EQ(listed, (std::vector<std::string>{"127.0.0.1|Telnet|typing|5|0",
                                                "127.0.0.2|Telnet|typing|5|2"}));
    EXPECT_FALSE(enabledAtStart);
    EXPECT_TRUE(enabledOnSelection);
    EXPECT_EQ(left, (std::vector<std::string>{"127.0.0.1|Telnet|typing|5|0"}));
    const std::string notice = "\r\n*** disconnected from the window\r\n";
    EXPECT_NE(goes.ReadUntil(notice, 3000).find(notice), std::string::npos);
    EXPECT_TRUE(goes.WaitClosed(3000));
    EXPECT_FALSE(stays.WaitClosed(300));
}

TEST_F(Commands, EditOrDeleteWithoutSelectionDoNothing) {
    AddThroughDialog("\\\\.\\pipe\\a", FreePortText());
    Select(-1);
    saves = 0;
    Command(ID_CONNECTOR_EDIT);
    Command(ID_CONNECTOR_DELETE);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(view.GetRowCount(), 1);
}

TEST_F(Commands, DeleteAsksAndSavesOnlyWhenConfirmed) {
    AddThroughDialog("\\\\.\\pipe\\a", FreePortText());
    AddThroughDialog("\\\\.\\pipe\\b", FreePortText());
    Select(0);
    saves = 0;
    std::vector<SeenWindow> seen = Run(ID_CONNECTOR_DELETE, {{"Delete Connector?", Press(IDNO)}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Really want to delete connector for pipe \\\\.\\pipe\\a?");
    EXPECT_EQ(view.GetRowCount(), 2);
    EXPECT_EQ(saves, 0);

    seen = Run(ID_CONNECTOR_DELETE, {{"Delete Connector?", Press(IDYES)}});
    EXPECT_EQ(view.GetRowCount(), 1);
    EXPECT_EQ(view.List().GetItemText(0, 0), "\\\\.\\pipe\\b");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Stored("PipeNum"), "1");
    EXPECT_EQ(Stored("PipeName0"), "\\\\.\\pipe\\b");
}

TEST_F(Commands, ResetTellsWhatItCannotDoAndDropsAClient) {
    Command(ID_CONNECTOR_RESET);  // an empty list: nothing at all
    LiveConnector live;
    std::string error;
    ASSERT_TRUE(live.pipe.Listen(&error));
    std::string port = FreePortText();
    PipeConnector* c = AddThroughDialog(live.pipeName, port);
    ASSERT_NE(c, nullptr);
    saves = 0;

    Select(-1);
    std::vector<SeenWindow> seen = Run(ID_CONNECTOR_RESET, {{"Delete", Press(IDOK)}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Select connection to be cancelled");

    Select(0);
    seen = Run(ID_CONNECTOR_RESET, {{"Not connected", Press(IDOK)}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Pipe " + live.pipeName + " is not connected to any client");
    EXPECT_EQ(seen[0].icon, LoadIcon(nullptr, IDI_ASTERISK));

    live.port = static_cast<uint16_t>(std::stoi(port));
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    seen = Run(ID_CONNECTOR_RESET, {{"Warning!", Press(IDYES)}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Client 127.0.0.1 will be disconnected from pipe " + live.pipeName);
    EXPECT_TRUE(client.WaitClosed(3000));
    EXPECT_EQ(Row(0), c);
    EXPECT_EQ(c->GetStatus(), Ready);
    EXPECT_EQ(saves, 0);
}

TEST_F(Commands, AddDialogEnablingRulesAndTabOrder) {
    std::vector<std::string> order;
    bool listOnlyAtStart = true, listAfterNonLocal = false, clientAfterListOnly = false;
    bool listOnlyAfterUncheck = true, clientAfterUncheck = true;
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW,
            {{"Add pipe connector", [&](HWND d) {
                  listOnlyAtStart = IsWindowEnabled(GetDlgItem(d, IDC_LIST_ONLY));
                  Click(d, IDC_NON_LOCAL);
                  listAfterNonLocal = IsWindowEnabled(GetDlgItem(d, IDC_LIST_ONLY));
                  Click(d, IDC_LIST_ONLY);
                  clientAfterListOnly = IsWindowEnabled(GetDlgItem(d, IDC_CLIENT_LIST));
                  HWND at = GetDlgItem(d, IDC_ADD_PIPE_NAME);
                  for (int i = 0; i < 9; ++i) {
                      order.push_back(std::to_string(GetDlgCtrlID(at)));
                      at = GetNextDlgTabItem(d, at, FALSE);
                  }
                  Click(d, IDC_NON_LOCAL);  // unchecked again
                  listOnlyAfterUncheck = IsWindowEnabled(GetDlgItem(d, IDC_LIST_ONLY));
                  clientAfterUncheck = IsWindowEnabled(GetDlgItem(d, IDC_CLIENT_LIST));
                  SetText(d, IDC_ADD_PIPE_NAME, "\\\\.\\pipe\\flags");
                  SetText(d, IDC_PORT, "0");
                  PressButton(d, IDCANCEL);
              }}});
    EXPECT_FALSE(listOnlyAtStart);
    EXPECT_TRUE(listAfterNonLocal);
    EXPECT_TRUE(clientAfterListOnly);
    EXPECT_FALSE(listOnlyAfterUncheck);
    EXPECT_FALSE(clientAfterUncheck);
    // "Create the pipe" follows the pipe's name and port.
    EXPECT_EQ(order, (std::vector<std::string>{"1007", "1009", "1046", "1017", "1029", "1027",
                                               "1028", "1010", "1011"}));
}

TEST_F(Commands, EditDialogEnablesItsBoxesFromTheFlags) {
    // Added with non-local clients allowed but no list: the list-only box is enabled in Edit,
    // the client list is not.
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_NEW, {{"Add pipe connector", [](HWND d) {
                                    SetText(d, IDC_ADD_PIPE_NAME, "\\\\.\\pipe\\flags");
                                    SetText(d, IDC_PORT, FreePortText());
                                    Click(d, IDC_NON_LOCAL);
                                    PressButton(d, IDC_ADD);
                                }}});
    ASSERT_EQ(view.GetRowCount(), 1);
    EXPECT_TRUE(Row(0)->AllowsNonLocal());
    EXPECT_FALSE(Row(0)->IsListOnly());
    Select(0);
    bool listOnlyEnabled = false, clientListEnabled = true, nonLocalChecked = false;
    seen = Run(ID_CONNECTOR_EDIT,
               {{"Edit pipe connector", [&](HWND d) {
                     nonLocalChecked = IsDlgButtonChecked(d, IDC_NON_LOCAL) == BST_CHECKED;
                     listOnlyEnabled = IsWindowEnabled(GetDlgItem(d, IDC_LIST_ONLY));
                     clientListEnabled = IsWindowEnabled(GetDlgItem(d, IDC_CLIENT_LIST));
                     PressButton(d, IDCANCEL);
                 }}});
    EXPECT_TRUE(nonLocalChecked);
    EXPECT_TRUE(listOnlyEnabled);
    EXPECT_FALSE(clientListEnabled);
}

TEST_F(Commands, RightClickOffersTheMenuThatFits) {
    std::vector<std::string> items;
    auto readMenu = [&] { return ReadNextPopupMenu(&items, view.Hwnd()); };
    NMHDR click{view.List().Hwnd(), IDC_CONNECTOR_LIST, static_cast<UINT>(NM_RCLICK)};
    std::thread user = readMenu();
    SendMessageA(view.Hwnd(), WM_NOTIFY, IDC_CONNECTOR_LIST, reinterpret_cast<LPARAM>(&click));
    user.join();
    EXPECT_EQ(items, (std::vector<std::string>{"&Add"}));

    AddThroughDialog("\\\\.\\pipe\\menu", FreePortText());
    Select(0);
    items.clear();
    user = readMenu();
    SendMessageA(view.Hwnd(), WM_NOTIFY, IDC_CONNECTOR_LIST, reinterpret_cast<LPARAM>(&click));
    user.join();
    EXPECT_EQ(items, (std::vector<std::string>{"&Delete", "&Reset", "&Edit", "Console &options...",
                                               "C&lients...", "Open &console", "Recor&dings"}));
}

TEST_F(Commands, ConsoleOptionsAreCheckedSavedAndTakeANewConnector) {
    std::string port = FreePortText();
    PipeConnector* before = AddThroughDialog("\\\\.\\pipe\\shared", port);
    ASSERT_NE(before, nullptr);
    Select(0);
    saves = 0;
    const std::string watchPort = FreePortText();
    std::string shownAtStart;
    bool hasBrowse = false;
    auto fill = [](std::string clients, std::string log, std::string replay) {
        return [=](HWND d) {
            SetText(d, IDC_MAX_CLIENTS, clients);
            SetText(d, IDC_LOG_FILE, log);
            SetText(d, IDC_REPLAY, replay);
            PressButton(d, IDOK);
        };
    };
    std::vector<SeenWindow> seen =
        Run(ID_CONNECTOR_CONSOLE,
            {{"Console options",
              [&](HWND d) {
                  shownAtStart = GetText(d, IDC_MAX_CLIENTS) + "|" + GetText(d, IDC_LOG_FILE) +
                                 "|" + GetText(d, IDC_REPLAY) + "|" +
                                 GetText(d, IDC_LISTEN_ADDRESS) + "|" + GetText(d, IDC_WATCH_PORT) +
                                 "|" + std::to_string(IsDlgButtonChecked(d, IDC_TELNET));
                  hasBrowse = GetText(d, IDC_BROWSE_LOG) == "&Browse...";
                  fill("17", "", "0")(d);
              }},
             {"Error!", Press(IDOK)},
             {"Console options", fill("3", "", "2000")},
             {"Error!", Press(IDOK)},
             {"Console options",
              [&](HWND d) {
                  SetText(d, IDC_LISTEN_ADDRESS, "nowhere");
                  fill("3", "C:\\logs\\shared.log", "8")(d);
              }},
             {"Error!", Press(IDOK)},
             {"Console options", [&](HWND d) {
                  SetText(d, IDC_LISTEN_ADDRESS, "127.0.0.1");
                  SetText(d, IDC_WATCH_PORT, watchPort);
                  Click(d, IDC_TELNET);
                  PressButton(d, IDOK);
              }}});
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(shownAtStart, "1||0||0|1");
    EXPECT_TRUE(hasBrowse);
    EXPECT_EQ(seen[1].text, "Clients at once must be a number from 1 to 16");
    EXPECT_EQ(seen[1].icon, LoadIcon(nullptr, IDI_EXCLAMATION));
    EXPECT_EQ(seen[3].text, "Replay must be a number from 0 to 1024");
    EXPECT_EQ(seen[5].text, "Incorrect listen address provided");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Stored("MaxClients0"), "3");
    EXPECT_EQ(Stored("LogFile0"), "C:\\logs\\shared.log");
    EXPECT_EQ(Stored("Replay0"), "8");
    ASSERT_EQ(view.GetRowCount(), 1);
    EXPECT_NE(Row(0), before);  // a changed option takes a new connector
    EXPECT_EQ(Row(0)->Settings().maxClients, 3);
    EXPECT_EQ(Row(0)->Settings().listenAddress, "127.0.0.1");
    EXPECT_EQ(Row(0)->Settings().watchPort, std::stoi(watchPort));
    EXPECT_FALSE(Row(0)->Settings().telnet);
    EXPECT_EQ(Row(0)->GetPortText(), port);
    EXPECT_EQ(view.List().GetItemText(0, 0), "\\\\.\\pipe\\shared");
}

TEST_F(Commands, TextsBeyondTheCodePageTravelEveryPath) {
    const std::string pipeName = "\\\\.\\pipe\\prüf-1";
    const std::string description = "Prüfstand 控制台 — COM1";
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::string folder = platform::Narrow(temp) + "Журнал";
    const std::string logFile = folder + "\\console.log";
    CreateDirectoryW(platform::Widen(folder).c_str(), nullptr);
    DeleteFileW(platform::Widen(logFile).c_str());
    tools::PipeServer pipe(pipeName);
    std::string error;
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    const std::string port = FreePortText();

    Run(ID_CONNECTOR_NEW,
        {{"Add pipe connector", Fill(IDC_ADD_PIPE_NAME, pipeName, port, description, IDC_ADD)}});
    ASSERT_EQ(view.GetRowCount(), 1);
    Select(0);
    Run(ID_CONNECTOR_CONSOLE, {{"Console options", [&](HWND d) {
                                    SetText(d, IDC_LOG_FILE, logFile);
                                    PressButton(d, IDOK);
                                }}});
    EXPECT_EQ(Stored("PipeName0"), pipeName);
    EXPECT_EQ(Stored("Description0"), description);
    EXPECT_EQ(Stored("LogFile0"), logFile);
    StoredConfiguration loaded = LoadConfiguration(*store, AppOptions{});
    ASSERT_EQ(loaded.connectors.size(), 1u);
    EXPECT_EQ(loaded.connectors[0].description, description);
    EXPECT_EQ(view.List().GetItemText(0, 0), pipeName);
    EXPECT_EQ(view.List().GetItemText(0, 6), description);

    TestClient client;
    ASSERT_TRUE(client.Connect(static_cast<uint16_t>(std::stoi(port))));
    ASSERT_TRUE(pipe.WaitClient(5000));
    const std::string banner = kAttaching + kConnectedBanner;
    EXPECT_EQ(client.ReadCount(banner.size(), 5000), banner);
    const std::string line = description + " bereit\r\n";
    ASSERT_TRUE(pipe.Write(line.data(), line.size()));
    EXPECT_EQ(client.ReadCount(line.size(), 5000), line);
    std::string logged;
    EXPECT_TRUE(WaitUntil(
        [&] {
            FILE* f = _wfopen(platform::Widen(logFile).c_str(), L"rb");
            char text[256] = "";
            logged.assign(text, f ? std::fread(text, 1, sizeof text, f) : 0);
            if (f)
                std::fclose(f);
            return logged == line;
        },
        3000))
        << logged;
    connectors.Clear();  // the log is closed before its folder goes
    DeleteFileW(platform::Widen(logFile).c_str());
    RemoveDirectoryW(platform::Widen(folder).c_str());
}

}  // namespace
}  // namespace tolvi::test
