// The main frame in a real window: Settings, the close rule, the tray, tooltips and prompts,
// why a row is in Error, the View toggles, the About box, help, and the tray icon's return
// after Explorer restarts.
#include <gtest/gtest.h>

#include <atomic>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "model/FrameRules.h"
#include "LibsshVersion.h"
#include "app/Help.h"
#include "app/MainFrame.h"
#include "app/ProxyApp.h"
#include "config/AutoStart.h"
#include "model/ConnectorFactory.h"
#include "pipeserver/PipeServer.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "support/MemoryStore.h"
#include "support/Settings.h"
#include "support/TestClient.h"
#include "ui/Dpi.h"
#include "ui/MessageBox.h"
#include "ui/WindowTestSupport.h"

namespace tolvi::test {
namespace {

std::string openedHelp;
void RecordHelp(HWND, const std::string& address) {
    openedHelp = address;
}

class MainFrame : public testing::Test {
  protected:
    void SetUp() override { Open(); }
    // A frame of its own for the test, as the program makes it, shown.
    void Open() {
        auto store = std::make_unique<MemoryStore>();
        config = store.get();
        auto backupStore = std::make_unique<MemoryStore>();
        backup = backupStore.get();
        frame = std::make_unique<CMainFrame>(std::move(store), std::move(backupStore), "");
        frame->readService = [this] { return service; };
        frame->registerAutoStart = [this](bool start) {
            std::string path = "C:\\tolvi\\tolvi.exe";
            return RegisterAutoStart(run, start, &path);
        };
        ASSERT_TRUE(frame->CreateEx(0, nullptr, kMainWindowTitle, WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    nullptr, 0));
        hwnd = frame->Hwnd();
        menu.Load(IDR_MAINFRAME);
        SetMenu(hwnd, menu.Detach());
        MoveWindow(hwnd, 20, 20, 685, 400, TRUE);
        ShowWindow(hwnd, SW_SHOW);
    }
    void TearDown() override {
        if (IsWindow(hwnd))
            frame->DestroyWindow();
        frame.reset();
        MSG quit;  // the frame ends the message loop when it goes; this test goes on
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    void Command(UINT id) { SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // Runs a command while a user answers its dialogs and boxes; what the user saw.
    std::vector<SeenWindow> Run(UINT id, std::vector<Step> steps) {
        std::vector<SeenWindow> seen;
        std::thread user = Script(std::move(steps), &seen);
        Command(id);
        user.join();
        return seen;
    }
    void TrayPress(UINT mouse) { SendMessageA(hwnd, kTrayCallbackMessage, 0, mouse); }
    bool Visible() { return IsWindowVisible(hwnd) != FALSE; }
    static std::function<void(HWND)> Press(int id) {
        return [=](HWND d) { PressButton(d, id); };
    }
    static void SetCheck(HWND d, int id, bool on) {
        if ((IsDlgButtonChecked(d, id) == BST_CHECKED) != on)
            Click(d, id);
    }

    // The refresh, asked for as the list's timer asks for it.
    void Tick() { SendMessageW(frame->View().Hwnd(), WM_TIMER, 1, 0); }
    void Select(int row) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(frame->View().List().Hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }

    MemoryStore* config = nullptr;
    MemoryStore* backup = nullptr;
    MemoryStore run;
    ServiceView service;  // what the frame is told of the tolvi service
    std::unique_ptr<CMainFrame> frame;
    ui::Menu menu;
    HWND hwnd = nullptr;
};

std::string Text(const MemoryStore& store, const std::string& name) {
    auto it = store.values.find(name);
    return it == store.values.end() ? "<missing>" : it->second.bytes;
}

TEST_F(MainFrame, SettingsOkAppliesSavesAndRegistersEachCombination) {
    for (int combo = 0; combo < 4; ++combo) {
        bool autoStart = combo & 1, exitToTray = combo & 2;
        std::vector<SeenWindow> seen =
            Run(ID_SETTINGS, {{"Settings", [&](HWND d) {
                                   SetCheck(d, IDC_AUTOSTART, autoStart);
                                   SetCheck(d, IDC_EXIT_TO_TRAY, exitToTray);
                                   PressButton(d, IDOK);
                               }}});
        EXPECT_EQ(frame->options.AutoStart, autoStart) << combo;
        EXPECT_EQ(frame->options.ExitToTray, exitToTray) << combo;
        EXPECT_EQ(Text(*config, "AutoStart"), std::string(autoStart ? "1" : "0") + '\0');
        EXPECT_EQ(Text(*config, "ExitToTray"), std::string(exitToTray ? "1" : "0") + '\0');
        EXPECT_EQ(
            Text(run, "Tolvi"),
            autoStart ? "\"C:\\tolvi\\tolvi.exe\" /minimized" + std::string(1, '\0') : "<missing>");
    }
}

TEST_F(MainFrame, SettingsCancelledChangesNothing) {
    std::vector<SeenWindow> seen = Run(ID_SETTINGS, {{"Settings", [&](HWND d) {
                                                          Click(d, IDC_AUTOSTART);
                                                          Click(d, IDC_EXIT_TO_TRAY);
                                                          PressButton(d, IDCANCEL);
                                                      }}});
    EXPECT_FALSE(frame->options.AutoStart);
    EXPECT_FALSE(frame->options.ExitToTray);
    EXPECT_TRUE(config->values.empty());
    EXPECT_TRUE(run.values.empty());
}

TEST_F(MainFrame, RunKeyThatCannotBeOpenedIsToldAndTheOptionsAreStillSaved) {
    run.canCreate = false;
    std::vector<SeenWindow> seen =
        Run(ID_SETTINGS, {{"Settings",
                           [&](HWND d) {
                               Click(d, IDC_AUTOSTART);
                               PressButton(d, IDOK);
                           }},
                          {"tolvi4", [](HWND box) { PressButton(box, IDOK); }}});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, "Can't save configuration: unable to access registry!");
    EXPECT_TRUE(frame->options.AutoStart);
    EXPECT_EQ(Text(*config, "AutoStart"), std::string("1", 2));
}

TEST_F(MainFrame, RealRunKeyHoldsTheQuotedProgramPath) {
    ProxyApp::RegisterAutoStart(true);
    char data[2048] = "";
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Tolvi", RRF_RT_ANY, &type, data, &size),
              ERROR_SUCCESS);
    std::string path;
    ASSERT_TRUE(ProgramPath(&path));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data), "\"" + path + "\" /minimized");
    EXPECT_EQ(size, std::string(data).size() + 1);
    ProxyApp::RegisterAutoStart(false);
    EXPECT_NE(
        RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Tolvi", RRF_RT_ANY, nullptr, nullptr, nullptr),
        ERROR_SUCCESS);
}

TEST_F(MainFrame, CloseEndsTheProgramWithoutExitToTray) {
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
    EXPECT_FALSE(HasTrayIcon(hwnd));
}

TEST_F(MainFrame, WithoutANotificationAreaCloseEndsTheProgram) {
    // The shell refuses the icon: hiding the window would lose it for good.
    frame->notifyIcon = [](DWORD message, NOTIFYICONDATAW* record) {
        return message == NIM_ADD ? FALSE : Shell_NotifyIconW(message, record);
    };
    frame->options.ExitToTray = true;
    Command(ID_APP_EXIT);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
}

TEST_F(MainFrame, SettingsAndItsBoxesAreOwnedByTheDisabledMainWindow) {
    bool ownedDialog = false, disabledUnderDialog = false, ownedBox = false,
         disabledUnderBox = false;
    config->writesLeft = 0;  // the save after OK fails and says so
    std::vector<SeenWindow> seen =
        Run(ID_SETTINGS, {{"Settings",
                           [&](HWND d) {
                               ownedDialog = GetWindow(d, GW_OWNER) == hwnd;
                               disabledUnderDialog = !IsWindowEnabled(hwnd);
                               PressButton(d, IDOK);
                           }},
                          {"tolvi4", [&](HWND box) {
                               ownedBox = GetWindow(box, GW_OWNER) == hwnd;
                               disabledUnderBox = !IsWindowEnabled(hwnd);
                               PressButton(box, IDOK);
                           }}});
    ASSERT_EQ(seen.size(), 2u);
    // The reason comes under the message: here the system's text for the write refused.
    const std::string said = "Could not save registry key\nCould not write AutoStart: ";
    EXPECT_EQ(seen[1].text.substr(0, said.size()), said);
    EXPECT_GT(seen[1].text.size(), said.size()) << seen[1].text;
    EXPECT_TRUE(ownedDialog);
    EXPECT_TRUE(disabledUnderDialog) << "a second Settings, New or Exit could start behind it";
    EXPECT_TRUE(ownedBox);
    EXPECT_TRUE(disabledUnderBox);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(MainFrame, TheServicesConnectorsShowBelowOursAndAreNotOursToChange) {
    uint16_t port = FreePort();
    frame->Connectors().Append(
        std::make_unique<PipeConnector>("\\\\.\\pipe\\ours", std::to_string(port), "ours"));
    service.installed = true;
    service.rows = {
        {"2400", "\\\\.\\pipe\\vm1", "Connected", "127.0.0.1", 1536, 10, "build VM", ""}};
    service.ports = {2400};
    Tick();
    ui::ListView& list = frame->View().List();
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(1, 0), "\\\\.\\pipe\\vm1");
    EXPECT_EQ(list.GetItemText(1, 6), "build VM (service)");
    EXPECT_EQ(list.GetItemText(1, 5), "Connected");
    EXPECT_EQ(list.GetItemText(1, 3), "1.5 KB");
    Select(1);
    const std::string notOurs =
        "This connector belongs to the tolvi service; change it with tolvi-relay service as "
        "administrator.";
    const std::string clientsElsewhere =
        "This connector belongs to the tolvi service: its clients are served by the service's "
        "own process, and this window cannot list or disconnect them.";
    for (UINT command :
         {ID_CONNECTOR_EDIT, ID_CONNECTOR_DELETE, ID_CONNECTOR_RESET, ID_CONNECTOR_CLIENTS}) {
        std::vector<SeenWindow> seen = Run(command, {{"tolvi4", Press(IDOK)}});
        ASSERT_TRUE(seen[0].found) << command;
        EXPECT_EQ(seen[0].text, command == ID_CONNECTOR_CLIENTS ? clientsElsewhere : notOurs);
    }
    EXPECT_EQ(frame->Connectors().Count(), 1);
    service.rows.clear();  // the service's connector removed: its row goes
    Tick();
    EXPECT_EQ(list.GetItemCount(), 1);
}

TEST_F(MainFrame, OpenConsoleShowsTheConnectorsPageFromItsOwnWebServer) {
    uint16_t port = FreePort();
    frame->Connectors().Append(std::make_unique<PipeConnector>("\\\\.\\pipe\\page",
                                                               std::to_string(port),
                                                               "Pr\xC3\xBC"
                                                               "fstand"));
    ASSERT_TRUE(frame->Connectors().At(0).CreateListener());
    std::string opened;
    frame->openUrl = [&](const std::string& url) { opened = url; };
    Select(0);
    Command(ID_CONNECTOR_OPEN_CONSOLE);
    const uint16_t web = frame->WebConsoles().Port();
    const std::string site = "http://127.0.0.1:" + std::to_string(web);
    ASSERT_EQ(opened.rfind(site + "/console/" + std::to_string(port) + "?token=", 0), 0u) << opened;
    TestClient browser;  // what the default browser would ask for
    ASSERT_TRUE(browser.Connect(web));
    ASSERT_TRUE(browser.Send("GET " + opened.substr(site.size()) + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                             std::to_string(web) + "\r\nConnection: close\r\n\r\n"));
    std::string page = browser.ReadUntil("</title>", 5000);
    EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u) << page.substr(0, 100);
    EXPECT_NE(page.find("Pr\xC3\xBC"
                        "fstand \xE2\x80\x94 \\\\.\\pipe\\page</title>"),
              std::string::npos);
}

TEST_F(MainFrame, EndingTheProgramStopsAndFreesEveryConnector) {
    uint16_t port = FreePort();
    frame->Connectors().Append(
        std::make_unique<PipeConnector>("\\\\.\\pipe\\ends", std::to_string(port), ""));
    ASSERT_TRUE(frame->Connectors().At(0).CreateListener());
    frame->Connectors().At(0).StartWorker();
    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
    EXPECT_EQ(frame->Connectors().Count(), 0);
    EXPECT_TRUE(client.WaitClosed(2000));
    TestClient after;
    EXPECT_FALSE(after.Connect(port));
}

// Raises an alert from a thread of its own, as a worker does; how long the call took, or at
// least timeoutMs when it had not returned by then (the thread is left in threads).
int64_t RaiseAlert(ConnectorObserver& alerts, const PipeConnector& connector,
                   const std::string& text, std::vector<std::thread>* threads) {
    auto returned = std::make_shared<std::atomic<bool>>(false);
    int64_t start = NowMs();
    threads->emplace_back([=, &alerts, &connector] {
        alerts.OnAlert(connector, text);
        *returned = true;
    });
    WaitUntil([&] { return returned->load(); }, 1000);
    return NowMs() - start;
}

TEST_F(MainFrame, AlertsNeverHoldTheWorkerAndShowOneBoxPerConnectorAndText) {
    auto reading = std::make_unique<PipeConnector>("\\\\.\\pipe\\reading", "1", "");
    auto gone = std::make_unique<PipeConnector>("\\\\.\\pipe\\gone", "2", "");
    const std::string failed = "Could not read from pipe, error 5";
    std::vector<std::thread> workers, repeats;
    std::vector<std::string> shown;
    bool ownedByFrame = true;
    int64_t repeatTook = -1;
    std::atomic<bool> userDone{false};
    std::thread user([&] {
        for (;;) {
            SeenWindow box;
            AnswerDialog("tolvi4", shown.empty() ? 8000 : 4000, &box, [&](HWND b) {
                ownedByFrame = ownedByFrame && GetWindow(b, GW_OWNER) == hwnd;
                if (shown.empty())  // the same failure again while its box is up
                    repeatTook = RaiseAlert(frame->Alerts(), *reading, failed, &repeats);
                PressButton(b, IDOK);
                // The next search must not meet this box again while it is still closing.
                WaitUntil([&] { return !IsWindowVisible(b); }, 3000);
            }).join();
            if (!box.found)
                break;
            shown.push_back(box.text);
        }
        userDone = true;
    });
    bool held = false;  // a raise that waited: the boxes it left open are closed below
    auto raise = [&](const PipeConnector& connector, const std::string& text) {
        int64_t took = RaiseAlert(frame->Alerts(), connector, text, &workers);
        held = held || took >= 1000;
        return took;
    };
    EXPECT_LT(raise(*reading, failed), 1000);
    EXPECT_LT(raise(*reading, failed), 1000);  // still queued
    EXPECT_LT(raise(*gone, "Pipe gone"), 1000);
    gone.reset();  // its box still shows, without the connector
    if (!PumpUntil([&] { return userDone.load(); }, 30000) || held)
        DismissDialogs();
    user.join();
    for (auto* threads : {&workers, &repeats}) {
        for (std::thread& t : *threads)
            t.join();
    }
    workers.clear();
    EXPECT_EQ(shown, (std::vector<std::string>{failed, "Pipe gone"}));
    EXPECT_TRUE(ownedByFrame);
    EXPECT_GE(repeatTook, 0);
    EXPECT_LT(repeatTook, 1000);

    // With the window gone, an alert is dropped, at once.
    frame->DestroyWindow();
    EXPECT_LT(raise(*reading, failed), 1000);
    if (held)
        DismissDialogs();
    workers.back().join();
}

TEST_F(MainFrame, CloseGoesToTheTrayAndBackInEveryWindowState) {
    frame->options.ExitToTray = true;
    for (int show : {SW_SHOWNORMAL, SW_MAXIMIZE, SW_MINIMIZE}) {
        ShowWindow(hwnd, show);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !Visible(); }, 3000)) << show;
        EXPECT_TRUE(frame->InTray());
        EXPECT_TRUE(HasTrayIcon(hwnd)) << show;
        TrayPress(WM_LBUTTONUP);  // only the press acts
        TrayPress(WM_LBUTTONDBLCLK);
        EXPECT_FALSE(Visible());
        TrayPress(WM_LBUTTONDOWN);
        EXPECT_TRUE(Visible()) << show;
        EXPECT_FALSE(IsIconic(hwnd)) << show;
        EXPECT_FALSE(IsZoomed(hwnd)) << show;
        EXPECT_FALSE(HasTrayIcon(hwnd));
    }
    // File > Exit with ExitToTray hides; the tray menu's Exit then ends the program.
    Command(ID_APP_EXIT);
    EXPECT_TRUE(PumpUntil([&] { return !Visible(); }, 3000));
    Command(ID_APP_EXIT);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
    EXPECT_FALSE(HasTrayIcon(hwnd));
}

TEST_F(MainFrame, RightPressOnTheTrayIconShowsTrayMenu) {
    frame->options.ExitToTray = true;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !Visible(); }, 3000));
    std::vector<std::string> items;
    std::thread user = ReadNextPopupMenu(&items, hwnd);
    TrayPress(WM_RBUTTONDOWN);
    user.join();
    EXPECT_EQ(items, (std::vector<std::string>{"&Settings", "&About", "", "&Exit"}));
    EXPECT_FALSE(Visible());  // the menu leaves the window in the tray
}

TEST_F(MainFrame, AConsoleAlertIsABalloonAndMarksItsRowUntilItIsSelected) {
    struct Call {
        DWORD message;
        UINT id;
        bool balloon;
        std::string title, text;
    };
    std::vector<Call> calls;
    frame->notifyIcon = [&](DWORD message, NOTIFYICONDATAW* record) {
        calls.push_back({message, record->uID, (record->uFlags & NIF_INFO) != 0,
                         (record->uFlags & NIF_INFO) ? platform::Narrow(record->szInfoTitle) : "",
                         (record->uFlags & NIF_INFO) ? platform::Narrow(record->szInfo) : ""});
        return Shell_NotifyIconW(message, record);
    };
    const std::string pipeName = UniquePipeName();
    tools::PipeServer pipe(pipeName);
    std::string error;
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    ConnectorSettings settings = SettingsFor(pipeName, std::to_string(FreePort()), "build VM");
    settings.alerts = "panic\nlogin:";
    ConnectorList& connectors = frame->Connectors();
    connectors.Append(BuildConnector(settings, &frame->Alerts()));
    StartConnector(connectors.At(0));
    Tick();
    ASSERT_TRUE(pipe.WaitClient(5000));
    const std::string line = "Kernel panic - not syncing\r\n";
    ASSERT_TRUE(pipe.Write(line.data(), line.size()));
    // The window is up and has no icon: the balloon comes from one of its own.
    ASSERT_TRUE(PumpUntil([&] { return !calls.empty(); }, 5000));
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[0].id, kAlertIconId);
    EXPECT_TRUE(calls[0].balloon);
    EXPECT_EQ(calls[0].title, "Alert on " + settings.portText + " " + pipeName + " \"build VM\"");
    EXPECT_EQ(calls[0].text, "Kernel panic - not syncing");
    EXPECT_TRUE(frame->View().IsMarked(0));
    SendMessageA(hwnd, kTrayCallbackMessage, kAlertIconId, NIN_BALLOONTIMEOUT);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls[1].id, kAlertIconId);
    Select(0);
    EXPECT_FALSE(frame->View().IsMarked(0));

    // In the tray, the tray's own icon tells it.
    frame->options.ExitToTray = true;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return frame->InTray(); }, 3000));
    const std::string prompt = "guest login: ";
    ASSERT_TRUE(pipe.Write(prompt.data(), prompt.size()));
    ASSERT_TRUE(PumpUntil([&] { return calls.back().balloon; }, 5000));
    EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(calls.back().id, kTrayIconId);
    EXPECT_EQ(calls.back().text, prompt);
    EXPECT_TRUE(frame->View().IsMarked(0));
}

// Whether the window came into sight, shown and not minimised, while this watched it.
LRESULT CALLBACK WatchSight(HWND hwnd, UINT msg, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR seen) {
    if (msg == WM_WINDOWPOSCHANGED && IsWindowVisible(hwnd) && !IsIconic(hwnd))
        *reinterpret_cast<bool*>(seen) = true;
    return DefSubclassProc(hwnd, msg, w, l);
}

TEST_F(MainFrame, EndingFromTheTrayOrMinimisedNeverShowsTheWindow) {
    for (bool fromTray : {true, false}) {
        if (!fromTray)
            Open();  // the first frame has ended
        frame->options.ExitToTray = fromTray;
        if (fromTray)
            PostMessageA(hwnd, WM_CLOSE, 0, 0);  // into the tray
        else
            ShowWindow(hwnd, SW_MINIMIZE);
        ASSERT_TRUE(PumpUntil([&] { return !Visible() || IsIconic(hwnd); }, 3000));
        bool shown = false;
        SetWindowSubclass(hwnd, WatchSight, 1, reinterpret_cast<DWORD_PTR>(&shown));
        Command(ID_APP_EXIT);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000)) << fromTray;
        EXPECT_FALSE(shown) << fromTray;
        EXPECT_FALSE(HasTrayIcon(hwnd)) << fromTray;
        TearDown();
    }
}

// What the tooltips of this process say of list once the pointer has come to row.
std::string TipOver(HWND list, int row) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2));
    std::string said;
    for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr));) {
        DWORD process = 0;
        GetWindowThreadProcessId(tip, &process);
        wchar_t text[1024] = L"";
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = GetParent(list);
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = text;
        if (process == GetCurrentProcessId())
            SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
        said += platform::Narrow(text);
    }
    return said;
}

TEST_F(MainFrame, ARowInErrorSaysWhyInTheStatusBarWhileSelectedAndAsItsTooltip) {
    const uint16_t served = FreePort();
    service.installed = true;
    service.ports = {served};
    service.rows = {{"2400", "\\\\.\\pipe\\vm1", "Error", "", 0, 0, "build VM",
                     "Could not open the pipe, error 5"}};
    Tick();  // the frame keeps the service's ports from now on
    ConnectorList& connectors = frame->Connectors();
    for (uint16_t port : {served, FreePort()}) {
        connectors.Append(BuildConnector(
            SettingsFor("\\\\.\\pipe\\p" + std::to_string(port), std::to_string(port), ""),
            &frame->Alerts()));
        StartConnector(connectors.At(connectors.Count() - 1));
    }
    Tick();
    HWND list = frame->View().List().Hwnd();
    ASSERT_EQ(frame->View().List().GetItemCount(), 3);
    const std::string why[] = {"Port " + std::to_string(served) + " is served by the tolvi service",
                               "", "Could not open the pipe, error 5"};
    for (int row = 0; row < 3; ++row) {
        Select(row);
        EXPECT_EQ(frame->Status().Message(), why[row].empty() ? "Ready" : why[row]) << row;
        EXPECT_EQ(TipOver(list, row), why[row]) << row;
    }
    // A menu's prompt covers it while the menu is open; the reason comes back after.
    SendMessageA(hwnd, WM_MENUSELECT, MAKEWPARAM(ID_CONNECTOR_NEW, MF_HILITE),
                 reinterpret_cast<LPARAM>(GetMenu(hwnd)));
    Tick();
    EXPECT_EQ(frame->Status().Message(), "Create New Connector");
    SendMessageA(hwnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(frame->Status().Message(), why[2]);
}

TEST_F(MainFrame, TooltipsAndPromptsOfEveryCommand) {
    struct Expected {
        UINT id;
        const char* prompt;
        const char* tooltip;  // nullptr: no toolbar button, so none
    };
    const Expected commands[] = {
        {32777, "Create New Connector", "Create new pipe connector"},
        {32788, "Edit connector properties", "Edit pipe connector"},
        {32787, "Disconnect client", "Reset connection"},
        {32783, "Delete Connector", "Delete pipe connector"},
        {32789, "Configuration", "Settings"},
        {32781, "Help", "Quick help"},
        {32790, "Several clients, a log and a replay for the selected connector", nullptr},
        {57664, "Display program information, version number and copyright", nullptr},
        {57665, "Quit the application; prompts to save documents", nullptr},
        {59392, "Show or hide the toolbar", nullptr},
        {59393, "Show or hide the status bar", nullptr},
    };
    for (const Expected& c : commands) {
        SendMessageA(hwnd, WM_MENUSELECT, MAKEWPARAM(c.id, MF_HILITE),
                     reinterpret_cast<LPARAM>(GetMenu(hwnd)));
        EXPECT_EQ(frame->Status().Message(), c.prompt) << c.id;
        NMTTDISPINFOW info{};
        info.hdr.hwndFrom = frame->Tools().Hwnd();
        info.hdr.idFrom = c.id;
        info.hdr.code = TTN_NEEDTEXTW;
        SendMessageW(hwnd, WM_NOTIFY, c.id, reinterpret_cast<LPARAM>(&info));
        if (!c.tooltip) {
            EXPECT_EQ(info.lpszText, nullptr) << c.id;  // left as it came
            continue;
        }
        ASSERT_NE(info.lpszText, nullptr);
        EXPECT_EQ(platform::Narrow(info.lpszText), c.tooltip);
    }
    NMTBHOTITEM hot{};
    hot.hdr.hwndFrom = frame->Tools().Hwnd();
    hot.hdr.idFrom = ID_VIEW_TOOLBAR;
    hot.hdr.code = TBN_HOTITEMCHANGE;
    hot.idNew = ID_CONNECTOR_RESET;
    SendMessageA(hwnd, WM_NOTIFY, ID_VIEW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
    EXPECT_EQ(frame->Status().Message(), "Disconnect client");  // button 3 under the pointer
    hot.dwFlags = HICF_LEAVING;
    SendMessageA(hwnd, WM_NOTIFY, ID_VIEW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
    EXPECT_EQ(frame->Status().Message(), "Ready");
    SendMessageA(hwnd, WM_MENUSELECT, MAKEWPARAM(SC_MINIMIZE, MF_HILITE | MF_SYSMENU), 0);
    EXPECT_EQ(frame->Status().Message(), "Reduce the window to an icon");
    SendMessageA(hwnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);  // the menu closed
    EXPECT_EQ(frame->Status().Message(), "Ready");
    EXPECT_EQ(frame->Tools().Commands(),
              (std::vector<UINT>{32777, 32788, 32787, 32783, 32789, 32781}));
}

TEST_F(MainFrame, ViewMenuShowsAndHidesTheBarsWithTicks) {
    HMENU view = GetSubMenu(GetMenu(hwnd), 2);
    auto ticked = [&](UINT id) {
        SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 2);
        return (GetMenuState(view, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    for (UINT id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        HWND bar = GetDlgItem(hwnd, id);
        ASSERT_NE(bar, nullptr) << id;
        EXPECT_TRUE(IsWindowVisible(bar));
        EXPECT_TRUE(ticked(id));
        Command(id);
        EXPECT_FALSE(IsWindowVisible(bar));
        EXPECT_FALSE(ticked(id));
        Command(id);
        EXPECT_TRUE(IsWindowVisible(bar));
        EXPECT_TRUE(ticked(id));
    }
}

TEST_F(MainFrame, AboutBoxShowsTheVersion) {
    std::vector<SeenWindow> seen =
        Run(ID_APP_ABOUT, {{"Named Pipe TCP Proxy", [](HWND d) { PressButton(d, IDOK); }}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text,
              "Version 1.001|tolvi contributors|Built with libssh " TOLVI_LIBSSH_VERSION
              ", libgcrypt and libgpg-error (LGPL-2.1), RE2, Boost and xterm.js: see "
              "THIRD-PARTY-NOTICES.txt beside the program.");
    EXPECT_TRUE(seen[0].hasIcon);
}

TEST_F(MainFrame, TrayIconComesBackWhenTheTaskbarIsCreatedAgain) {
    frame->options.ExitToTray = true;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !Visible(); }, 3000));
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = hwnd;
    Shell_NotifyIconA(NIM_DELETE, &record);  // as a restarted Explorer has forgotten it
    ASSERT_FALSE(HasTrayIcon(hwnd));
    SendMessageA(hwnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(HasTrayIcon(hwnd));
}

TEST_F(MainFrame, EditMenuKeysActAndNoOtherKeyIsTaken) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    auto key = [&](WPARAM vk) {
        MSG msg{hwnd, WM_KEYDOWN, vk, 0, 0, {0, 0}};
        return ProxyApp::TranslateKeys(hwnd, &msg);
    };
    std::vector<SeenWindow> seen;
    std::thread user = Script({{"Add pipe connector", Press(IDC_CANCEL)}}, &seen);
    EXPECT_TRUE(key('N'));  // Ctrl+N: New, whose dialog the user cancels
    user.join();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].found);
    EXPECT_EQ(Text(*config, "PipeNum"), std::string("0", 2));  // New saves even when cancelled
    config->values.clear();
    EXPECT_FALSE(key('C'));  // the list's, not a command
    EXPECT_TRUE(key('D'));   // Delete with no row: nothing
    EXPECT_TRUE(config->values.empty());
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_FALSE(key('N'));  // a plain N is typing, not a command
}

TEST_F(MainFrame, QuickHelpAndTheHelpHookOpenTheHelpPage) {
    SetHelpOpener(RecordHelp);
    Command(ID_QUICK_HELP);
    EXPECT_EQ(openedHelp.rfind("file:///", 0), 0u) << openedHelp;
    // The page beside the program, named after it: here the test program's own.
    const std::string page = "/window_test.html";
    ASSERT_GT(openedHelp.size(), page.size());
    EXPECT_EQ(openedHelp.substr(openedHelp.size() - page.size()), page) << openedHelp;
    SendMessageA(hwnd, WM_HELP, 0, 0);
    const std::string section = page + "#what-is-it";
    ASSERT_GT(openedHelp.size(), section.size());
    EXPECT_EQ(openedHelp.substr(openedHelp.size() - section.size()), section) << openedHelp;
    SetHelpOpener(nullptr);
}

// What the frame sizes in pixels, as a user sees it.
struct Sizes {
    RECT window{};
    int picture = 0;
    DWORD button = 0;
    std::vector<int> columns;
    int description = 0, listClient = 0;
    int rowPicture = 0;
};

Sizes Measure(CMainFrame& frame) {
    Sizes s;
    GetWindowRect(frame.Hwnd(), &s.window);
    s.picture = frame.Tools().PictureSize();
    s.button = static_cast<DWORD>(SendMessageA(frame.Tools().Hwnd(), TB_GETBUTTONSIZE, 0, 0));
    for (int i = 0; i < 6; ++i)
        s.columns.push_back(frame.View().List().GetColumnWidth(i));
    s.description = frame.View().List().GetColumnWidth(6);
    RECT client;
    GetClientRect(frame.View().Hwnd(), &client);
    s.listClient = client.right;
    auto images = reinterpret_cast<HIMAGELIST>(
        SendMessageA(frame.View().List().Hwnd(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    int cx = 0, cy = 0;
    if (images && ImageList_GetIconSize(images, &cx, &cy))
        s.rowPicture = cx;
    return s;
}

TEST_F(MainFrame, FollowsTheMonitorsDpiAndComesBackExactly) {
    ASSERT_EQ(frame->Dpi(), 96u) << "the tests run at 96 DPI";
    const Sizes at96 = Measure(*frame);
    EXPECT_EQ(at96.picture, 16);
    EXPECT_EQ(at96.columns, (std::vector<int>{130, 50, 105, 65, 65, 70}));
    EXPECT_EQ(at96.description, at96.listClient - 485);
    EXPECT_EQ(at96.rowPicture, 16);

    auto changeTo = [&](UINT dpi, RECT suggested) {
        SendMessageA(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        return Measure(*frame);
    };
    Sizes at144 = changeTo(144, RECT{20, 20, 20 + 1028, 20 + 600});
    EXPECT_EQ(frame->Dpi(), 144u);
    EXPECT_EQ(at144.window.right - at144.window.left, 1028);
    EXPECT_EQ(at144.window.bottom - at144.window.top, 600);
    EXPECT_EQ(at144.picture, 24);
    EXPECT_GE(LOWORD(at144.button), 24 + LOWORD(at96.button) - 16) << "buttons fit the pictures";
    EXPECT_GE(HIWORD(at144.button), 24 + HIWORD(at96.button) - 16);
    EXPECT_EQ(at144.columns, (std::vector<int>{195, 75, 158, 98, 98, 105}));
    EXPECT_EQ(at144.description, at144.listClient - 729) << "the fixed columns' sum scales too";
    EXPECT_EQ(at144.rowPicture, 24);

    Sizes at192 = changeTo(192, RECT{20, 20, 20 + 1370, 20 + 800});
    EXPECT_EQ(at192.picture, 32);
    EXPECT_EQ(at192.columns, (std::vector<int>{260, 100, 210, 130, 130, 140}));
    EXPECT_EQ(at192.description, at192.listClient - 970);
    EXPECT_EQ(at192.rowPicture, 32);

    // A column the user widened keeps its share; back at 96 everything else is as it was.
    frame->View().List().SetColumnWidth(0, 300);
    Sizes back = changeTo(96, RECT{20, 20, 20 + 685, 20 + 400});
    EXPECT_EQ(back.columns[0], 150);
    frame->View().List().SetColumnWidth(0, 130);
    back = Measure(*frame);
    EXPECT_EQ(back.window.right - back.window.left, 685);
    EXPECT_EQ(back.picture, 16);
    EXPECT_EQ(back.button, at96.button);
    EXPECT_EQ(back.columns, at96.columns);
    EXPECT_EQ(back.description, at96.description);
    EXPECT_EQ(back.rowPicture, 16);
}

TEST(MainFrameLoad, WhatWasNotLoadedOrStartedIsToldOnceTheWindowIsUpAndTheKeyIsKept) {
    auto store = std::make_unique<MemoryStore>();
    MemoryStore* config = store.get();
    const uint16_t port = FreePort();
    const std::string otherPort = std::to_string(FreePort());
    config->PutText("PipeNum", "3");
    config->PutText("PipeName0", "\\\\.\\pipe\\zero");
    config->PutText("Port0", std::to_string(port));    // the first: starts and listens
    config->PutText("PipeName1", "\\\\.\\pipe\\one");  // no port: cannot be read
    config->PutText("PipeName2", "\\\\.\\pipe\\two");
    config->PutText("Port2", "abc");  // listed in Error, but listed
    config->PutText("PipeName3", "\\\\.\\pipe\\three");
    config->PutText("Port3", otherPort);  // its worker cannot be made
    config->PutText("MaxClients3", "99");
    config->PutText("ExitToTray", "1");  // and no AutoStart at all
    uint16_t webPort = 0;  // the web console's port, taken by another program
    platform::TcpSocket webHolder = HoldPortExclusively(&webPort);
    config->PutText("WebConsolePort", std::to_string(webPort));
    auto backupStore = std::make_unique<MemoryStore>();
    MemoryStore* backup = backupStore.get();
    CMainFrame frame(std::move(store), std::move(backupStore), "");
    frame.SetWorkerStarter([](PipeConnector& c) {
        return c.GetPipeName() == "\\\\.\\pipe\\three"
                   ? platform::SysError{ERROR_NOT_ENOUGH_MEMORY, platform::ErrorKind::OutOfResources}
                   : c.StartWorker();
    });

    SeenWindow box;
    bool ownedByFrame = false;
    std::thread user = AnswerDialog("tolvi4", 8000, &box, [&](HWND b) {
        ownedByFrame = GetWindow(b, GW_OWNER) == frame.Hwnd();
        PressButton(b, IDOK);
    });
    ASSERT_TRUE(frame.CreateEx(0, nullptr, kMainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, 0));
    EXPECT_FALSE(box.found) << "start-up waited on a box";
    ASSERT_EQ(frame.Connectors().Count(), 3);
    TestClient client;
    EXPECT_TRUE(client.Connect(port));
    EXPECT_TRUE(WaitUntil([&] { return frame.Connectors().At(0).GetStatus() == Ready; }, 3000));
    EXPECT_EQ(frame.Connectors().At(1).GetStatus(), Error);
    EXPECT_TRUE(frame.options.ExitToTray);

    ShowWindow(frame.Hwnd(), SW_SHOW);
    PumpUntil([&] { return box.found; }, 8000);
    user.join();
    ASSERT_TRUE(box.found);
    EXPECT_TRUE(ownedByFrame);
    const std::string told =
        "PipeNum is \"3\", but 4 connectors were found: all are loaded\n"
        "Could not load connector 1 (\\\\.\\pipe\\one)\n"
        "MaxClients3 is \"99\", not a number from 1 to 16: 16 is used\n"
        "Could not start the connector for \\\\.\\pipe\\three on port " +
        otherPort + ": Could not create thread (";
    EXPECT_EQ(box.text.substr(0, told.size()), told) << box.text;
    // The web console's own sentence, said once.
    const std::string web = "The web console could not listen on 127.0.0.1 port " +
                            std::to_string(webPort) + " (";
    size_t at = box.text.find(web);
    ASSERT_NE(at, std::string::npos) << box.text;
    EXPECT_EQ(box.text.find("could not", at + 20), std::string::npos) << box.text;

    const auto original = config->values;
    ASSERT_TRUE(frame.SaveConfiguration());
    ASSERT_EQ(backup->values.size(), original.size());
    for (const auto& v : original) {
        ASSERT_EQ(backup->values.count(v.first), 1u) << v.first;
        EXPECT_EQ(backup->values[v.first].bytes, v.second.bytes) << v.first;
        EXPECT_EQ(backup->values[v.first].type, v.second.type) << v.first;
    }
    EXPECT_EQ(Text(*config, "PipeNum"), std::string("3", 2));
    EXPECT_EQ(Text(*config, "PipeName2"), "\\\\.\\pipe\\three" + std::string(1, '\0'));
    EXPECT_EQ(Text(*config, "PipeName3"), "<missing>");
    backup->values.clear();
    ASSERT_TRUE(frame.SaveConfiguration());
    EXPECT_TRUE(backup->values.empty()) << "the copy is made once";

    frame.DestroyWindow();
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace
}  // namespace tolvi::test
