// The main frame: creation in its fixed order, layout, command routing, the close rule and
// the tray.
#include "app/MainFrame.h"

#include "engine/PortText.h"

#include <algorithm>

#include <commctrl.h>
#include <shellapi.h>

#include "model/FrameRules.h"
#include "app/Help.h"
#include "app/ProxyApp.h"
#include "dialogs/SettingsDialog.h"
#include "engine/Format.h"
#include "platform/ErrorText.h"
#include "platform/Folder.h"
#include "service/ServiceFolders.h"
#include "platform/Socket.h"
#include "platform/UserFolder.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "ui/Dpi.h"
#include "ui/MessageBox.h"
#include "ui/TrayIcon.h"

namespace tolvi {

const char kMainWindowTitle[] = "Named Pipe TCP Proxy";

namespace {

constexpr DWORD kToolBarStyle = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP;
constexpr DWORD kStatusBarStyle = WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP;
const UINT kIndicators[] = {0, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

UINT TaskbarCreatedMessage() {
    static UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

HICON ProgramIcon(int size) {
    return static_cast<HICON>(LoadImageW(ui::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                         IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

CMainFrame::CMainFrame(std::unique_ptr<platform::KeyValueStore> store,
                       std::unique_ptr<platform::KeyValueStore> backup, std::string commandTail)
    : registerAutoStart(&ProxyApp::RegisterAutoStart),
      notifyIcon(&Shell_NotifyIconW),
      icon(LoadIconW(ui::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      store(std::move(store)),
      backup(std::move(backup)),
      commandTail(std::move(commandTail)) {}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    cs.lpszClass = ui::RegisterWindowClass(0, nullptr, nullptr, nullptr);
    return true;
}

LRESULT CMainFrame::OnCreate(WPARAM, LPARAM) {
    RECT empty{0, 0, 0, 0};
    if (!connectorView.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, empty, Hwnd(),
                              ID_FIRST_PANE)) {
        return -1;
    }
    alerts.SetOwner(Hwnd());
    connectorView.SetSaveHandler([this] { SaveConfiguration(); });
    connectorView.SetRefreshHandler([this] { OnRefresh(); });
    connectorView.SetSelectionHandler([this] { ShowIdleText(); });
    connectorView.SetConnectorObserver(&alerts);
    connectorView.SetConnectorPlaces(host.Places());
    dpi = ui::WindowDpi(Hwnd());
    if (!toolBar.Create(Hwnd(), kToolBarStyle, ID_VIEW_TOOLBAR) ||
        !toolBar.LoadToolBar(IDR_MAINFRAME)) {
        return -1;
    }
    toolBar.AddPictureSize(20, IDB_TOOLBAR_20);
    toolBar.AddPictureSize(24, IDB_TOOLBAR_24);
    toolBar.AddPictureSize(32, IDB_TOOLBAR_32);
    toolBar.ScaleTo(dpi);
    statusBar.SetDpi(dpi);
    if (!statusBar.Create(Hwnd(), kStatusBarStyle, ID_VIEW_STATUS_BAR) ||
        !statusBar.SetIndicators(kIndicators, 4)) {
        return -1;
    }
    SetWindowIcons();
    inTray = false;
    StartSockets();  // without sockets the connectors show their failure in the list
    if (!readService) {
        serviceWatch = std::make_unique<ServiceWatch>();
        readService = [this] { return serviceWatch->Latest(); };
    }
    // The service's ports are kept clear before anything here listens.
    servicePorts = readService().ports;
    ReserveServicePorts(servicePorts);
    LoadConfiguration();
    for (const std::string& problem : {StartWebConsole(), StartSsh()}) {
        if (problem.empty())
            continue;
        loadReport += (loadReport.empty() ? "" : "\n") + problem;
        PostMessageW(Hwnd(), kLoadReportMessage, 0, 0);
    }
    OnRefresh();
    if (WantsTrayStart(commandTail))
        ToggleTray();
    return 0;
}

void CMainFrame::SetWindowIcons() {
    // At 96 DPI the large icon is the one LoadIcon gives, the system's 32 pixels.
    HICON large = dpi == ui::kBaseDpi ? icon : ProgramIcon(ui::Scale(32, dpi));
    SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(ProgramIcon(ui::Scale(16, dpi))));
}

void CMainFrame::ApplyDpi(UINT newDpi) {
    if (newDpi == 0 || newDpi == dpi)
        return;
    dpi = newDpi;
    toolBar.ScaleTo(dpi);
    statusBar.SetDpi(dpi);
    connectorView.SetDpi(dpi);
    SetWindowIcons();
    if (inTray) {
        NOTIFYICONDATAW record = ui::TrayIconRecord(
            Hwnd(), kTrayCallbackMessage, ProgramIcon(ui::Scale(16, dpi)), kMainWindowTitle);
        notifyIcon(NIM_MODIFY, &record);
    }
    RecalcLayout();
}

LRESULT CMainFrame::OnDpiChanged(WPARAM w, LPARAM l) {
    ApplyDpi(ui::DpiOfDpiChanged(w));
    // The size Windows suggests keeps the window where it was, in proportion.
    const RECT* suggested = reinterpret_cast<const RECT*>(l);
    if (suggested) {
        SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
}

bool CMainFrame::StartSockets() {
    if (platform::StartSocketLibrary().Failed()) {
        ui::AppMessageBox(Hwnd(), "Cant initialize winsock!");
        return false;
    }
    return true;
}

bool CMainFrame::LoadConfiguration() {
    StoredConfiguration loaded = tolvi::LoadConfiguration(*store, options);
    options = loaded.options;
    // The audit trail beside the SSH keys file, the recordings in a folder beside it.
    std::string folder = platform::UserConfigFolder();
    if (!folder.empty()) {
        ConnectorPlaces places;
        places.recordingsRoot = platform::JoinPath(folder, "recordings");
        platform::MakeFolder(places.recordingsRoot);
        audit.Open(platform::JoinPath(folder, "audit.jsonl"));  // tried again at each record
        places.audit = &audit;
        host.SetPlaces(places);
        connectorView.SetConnectorPlaces(places);
    }
    std::vector<ConnectorHost::Failure> failures = host.Start(loaded.connectors);
    backupPending = loaded.needsBackup;
    // Nothing stored is dropped without a word: what could not be read as stored is named,
    // and the key is copied aside before the next save writes it anew. A connector that
    // could not start is named too: its row only says Error.
    std::vector<std::string> lines = loaded.problems;
    for (const ConnectorHost::Failure& f : failures) {
        if (f.listener)
            continue;  // its row shows Error, as a port taken by another program does
        lines.push_back(Format("Could not start the connector for %s on port %s: %s (%s)",
                               f.pipeName.c_str(), f.portText.c_str(), kThreadFailedText,
                               platform::GetSystemErrorText(f.error.code).c_str()));
    }
    if (lines.empty())
        return true;
    // Told from the message loop, once the window is up: start-up never waits on a box.
    loadReport = LinesMessage(lines);
    PostMessageW(Hwnd(), kLoadReportMessage, 0, 0);
    return false;
}

LRESULT CMainFrame::OnLoadReport(WPARAM, LPARAM) {
    std::string report = std::move(loadReport);
    loadReport.clear();
    if (!report.empty())
        ui::AppMessageBox(Hwnd(), report);
    return 0;
}

LRESULT CMainFrame::OnAlert(WPARAM, LPARAM) {
    alerts.ShowQueued();
    return 0;
}

LRESULT CMainFrame::OnConsoleAlert(WPARAM, LPARAM) {
    std::vector<ConsoleAlertNote> notes = alerts.TakeConsoleAlerts();
    if (notes.empty())
        return 0;
    for (const ConsoleAlertNote& note : notes)
        connectorView.MarkAlert(note.connector);
    // One balloon: a second would only replace the first. The latest is told, the others
    // counted; their rows are marked.
    std::string text = notes.back().text;
    if (notes.size() > 1)
        text += "\n(" + std::to_string(notes.size() - 1) + " more: see the marked rows)";
    ShowAlertBalloon(notes.back().title, text);
    return 0;
}

void CMainFrame::ShowAlertBalloon(const std::string& title, const std::string& text) {
    const UINT id = inTray ? kTrayIconId : kAlertIconId;
    NOTIFYICONDATAW record =
        ui::TrayBalloonRecord(Hwnd(), id, kTrayCallbackMessage, ProgramIcon(ui::Scale(16, dpi)),
                              kMainWindowTitle, title, text);
    if (inTray || alertIconShown) {
        notifyIcon(NIM_MODIFY, &record);
        return;
    }
    alertIconShown = notifyIcon(NIM_ADD, &record) != FALSE;
}

void CMainFrame::RemoveAlertIcon() {
    if (!alertIconShown)
        return;
    NOTIFYICONDATAW record = ui::TrayIconRecord(Hwnd(), kTrayCallbackMessage,
                                                ProgramIcon(ui::Scale(16, dpi)), kMainWindowTitle);
    record.uID = kAlertIconId;
    notifyIcon(NIM_DELETE, &record);
    alertIconShown = false;
}

bool CMainFrame::SaveConfiguration() {
    const std::string failed = "Could not save registry key";
    if (backupPending) {
        // Nothing is written over a key that has no copy yet.
        if (!backup) {
            ui::AppMessageBox(Hwnd(), failed);
            return false;
        }
        platform::SysError error = CopyConfiguration(*store, *backup);
        if (error.Failed()) {
            ui::AppMessageBox(Hwnd(), failed + "\nCould not keep a copy of the key as it was: " +
                                          platform::GetSystemErrorText(error.code));
            return false;
        }
        backupPending = false;
    }
    // A key that can be neither opened nor created is reported too: a configuration that
    // cannot be kept must not be lost without a word.
    std::string reason;
    if (tolvi::SaveConfiguration(*store, connectors.Settings(), options, &reason) !=
        SaveResult::Saved) {
        ui::AppMessageBox(Hwnd(), reason.empty() ? failed : failed + "\n" + reason);
        return false;
    }
    return true;
}

bool CMainFrame::ToggleTray() {
    if (inTray) {
        RemoveTrayIcon();
        inTray = false;
        ShowWindow(Hwnd(), SW_SHOWNORMAL);
        return true;
    }
    NOTIFYICONDATAW record = ui::TrayIconRecord(Hwnd(), kTrayCallbackMessage,
                                                ProgramIcon(ui::Scale(16, dpi)), kMainWindowTitle);
    // Without an icon a hidden window could never be brought back: it stays visible.
    if (!notifyIcon(NIM_ADD, &record))
        return false;
    RemoveAlertIcon();  // the tray's icon is the one a balloon comes from now
    inTray = true;
    ShowWindow(Hwnd(), SW_HIDE);
    return true;
}

void CMainFrame::RemoveTrayIcon() {
    NOTIFYICONDATAW record = ui::TrayIconRecord(Hwnd(), kTrayCallbackMessage,
                                                ProgramIcon(ui::Scale(16, dpi)), kMainWindowTitle);
    notifyIcon(NIM_DELETE, &record);
}

BOOL CMainFrame::DestroyWindow() {
    // The icon goes first, whether or not there is one; the window goes as it is, hidden or
    // minimised, without coming back into sight on its way out.
    RemoveTrayIcon();
    RemoveAlertIcon();
    inTray = false;
    return Window::DestroyWindow();
}

void CMainFrame::RecalcLayout() {
    RECT client;
    GetClientRect(Hwnd(), &client);
    int top = 0, bottom = client.bottom;
    if (toolBar.Hwnd() && IsWindowVisible(toolBar.Hwnd())) {
        SendMessageW(toolBar.Hwnd(), TB_AUTOSIZE, 0, 0);
        RECT r;
        GetWindowRect(toolBar.Hwnd(), &r);
        top = r.bottom - r.top;
    }
    if (statusBar.Hwnd() && IsWindowVisible(statusBar.Hwnd())) {
        statusBar.Resize();
        RECT r;
        GetWindowRect(statusBar.Hwnd(), &r);
        bottom -= r.bottom - r.top;
    }
    if (connectorView.Hwnd()) {
        MoveWindow(connectorView.Hwnd(), 0, top, client.right, bottom > top ? bottom - top : 0,
                   TRUE);
    }
}

LRESULT CMainFrame::OnSize(WPARAM, LPARAM) {
    RecalcLayout();
    connectorView.FitListToClient();
    return 0;
}

LRESULT CMainFrame::OnSetFocus(WPARAM, LPARAM) {
    if (connectorView.Hwnd())
        SetFocus(connectorView.Hwnd());
    return 0;
}

LRESULT CMainFrame::OnClose(WPARAM, LPARAM) {
    // With no notification area to hide in, a close request ends the program as it would
    // without the option, rather than doing nothing.
    if (DecideClose(inTray, options.ExitToTray) == CloseAction::EndProgram || !ToggleTray()) {
        DestroyWindow();
    }
    return 0;
}

LRESULT CMainFrame::OnSettings(WPARAM, LPARAM) {
    SettingsDialog dialog(Hwnd(), registerAutoStart);
    dialog.autoStart = options.AutoStart ? 1 : 0;
    dialog.exitToTray = options.ExitToTray ? 1 : 0;
    dialog.webConsolePort = options.WebConsolePort;
    dialog.sshPort = options.SshPort;
    dialog.sshFingerprint = sshConsoles.Fingerprint();
    dialog.sshKeysFile = SshKeysFile();
    if (dialog.DoModal() == IDOK) {
        options.AutoStart = dialog.autoStart != 0;
        options.ExitToTray = dialog.exitToTray != 0;
        bool movePort = dialog.webConsolePort != options.WebConsolePort;
        bool moveSsh = dialog.sshPort != options.SshPort;
        options.WebConsolePort = dialog.webConsolePort;
        options.SshPort = dialog.sshPort;
        SaveConfiguration();
        std::string problem = movePort ? StartWebConsole() : "";
        if (!problem.empty())
            ui::AppMessageBox(Hwnd(), problem);
        problem = moveSsh ? StartSsh() : "";
        if (!problem.empty())
            ui::AppMessageBox(Hwnd(), problem);
    }
    return 0;
}

std::string CMainFrame::SshKeysFile() const {
    std::string folder = platform::UserConfigFolder();
    return folder.empty() ? "" : folder + "\\authorized_keys";
}

std::string CMainFrame::StartSsh() {
    sshConsoles.Stop();
    if (options.SshPort <= 0)
        return "";
    std::string keys = SshKeysFile();
    if (keys.empty())
        return "The SSH server could not start: there is no folder for its keys";
    ssh::SshFiles files;
    files.keysFile = keys;
    std::string why;
    if (!sshConsoles.Start(static_cast<uint16_t>(options.SshPort), options.SshListen, files, &why))
        return "The SSH server could not start on port " + std::to_string(options.SshPort) +
               ": " + why;
    return "";
}

LRESULT CMainFrame::OnSshKeys(WPARAM, LPARAM) {
    std::string path = SshKeysFile();
    std::string why = "there is no folder for it";
    if (path.empty() || !ssh::MakeKeysFile(path, ssh::FileAccess::CurrentUser, &why)) {
        ui::AppMessageBox(Hwnd(), "The SSH keys file cannot be made: " + why);
        return 0;
    }
    if (openFile) {
        openFile(path);
        return 0;
    }
    // A file without an extension has no program of its own: the user's editor for text.
    std::wstring wide = platform::Widen(path);
    if (reinterpret_cast<INT_PTR>(ShellExecuteW(Hwnd(), L"edit", wide.c_str(), nullptr, nullptr,
                                                SW_SHOWNORMAL)) <= 32) {
        std::wstring quoted = L"\"" + wide + L"\"";
        ShellExecuteW(Hwnd(), L"open", L"notepad.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL);
    }
    return 0;
}

std::string CMainFrame::StartWebConsole() {
    std::string error;
    webConsoles.SetDirectory(&host);  // this program's consoles are joined in the process
    if (webConsoles.Start(static_cast<uint16_t>(options.WebConsolePort), &error))
        return "";
    return error;  // a whole sentence, that names the port
}

std::vector<web::WebConsole> CMainFrame::ConsolesNow() const {
    std::vector<web::WebConsole> consoles;
    for (int row = 0; row < connectors.Count(); ++row) {
        web::WebConsole c;
        if (web::ConsoleOf(connectors.At(row), &c))
            consoles.push_back(c);
    }
    // The service's consoles are reached as any local client reaches them.
    for (const service::ConnectorState& s : serviceRows) {
        int port = TextToInt(s.port);
        if (port < 1 || port > 65535)
            continue;
        web::WebConsole c;
        c.key = s.port;
        c.title = s.description.empty() ? s.pipe : s.description + " \xE2\x80\x94 " + s.pipe;
        c.endpoint = platform::Endpoint::LoopbackV4(static_cast<uint16_t>(port));
        // Readable by administrators alone: the page says so to anyone else.
        c.recordings = RecordingFolderOf(service::MachineRecordingsRoot(), s.port);
        consoles.push_back(c);
    }
    return consoles;
}

void CMainFrame::OnRefresh() {
    ServiceView service = readService ? readService() : ServiceView{};
    serviceRows = service.rows;
    connectorView.ShowServiceRows(serviceRows);
    if (service.ports != servicePorts) {
        servicePorts = service.ports;
        ReserveServicePorts(servicePorts);
    }
    webConsoles.SetConsoles(ConsolesNow());
    ShowIdleText();  // the selected row may have gone into Error, or out of it
}

std::string CMainFrame::SelectedConsoleKey() {
    int row = connectorView.GetSelectedRow();
    if (row < 0)
        return "";
    std::string key;
    if (connectorView.IsServiceRow(row)) {
        size_t i = static_cast<size_t>(row - connectors.Count());
        if (i < serviceRows.size())
            key = serviceRows[i].port;
    } else {
        web::WebConsole console;
        const PipeConnector& c = connectors.At(row);
        if (!web::ConsoleOf(c, &console)) {
            ui::AppMessageBox(Hwnd(),
                              "The console cannot be opened: the connector does not "
                              "listen (" +
                                  c.GetErrorText() + ")");
            return "";
        }
        key = console.key;
    }
    webConsoles.SetConsoles(ConsolesNow());
    return key;
}

LRESULT CMainFrame::OnOpenConsole(WPARAM, LPARAM) {
    std::string key = SelectedConsoleKey();
    if (!key.empty())
        OpenInBrowser(webConsoles.ConsoleUrl(key));
    return 0;
}

// The selected connector's recordings page, the service's too.
LRESULT CMainFrame::OnRecordings(WPARAM, LPARAM) {
    std::string key = SelectedConsoleKey();
    if (!key.empty())
        OpenInBrowser(webConsoles.RecordingsUrl(key));
    return 0;
}

void CMainFrame::OpenInBrowser(const std::string& url) {
    if (url.empty()) {
        ui::AppMessageBox(Hwnd(),
                          "The console cannot be opened: the web console does not run "
                          "(File > Settings sets its port)");
        return;
    }
    if (openUrl)
        openUrl(url);
    else
        ShellExecuteW(Hwnd(), L"open", platform::Widen(url).c_str(), nullptr, nullptr,
                      SW_SHOWNORMAL);
}

LRESULT CMainFrame::OnQuickHelp(WPARAM, LPARAM) {
    OpenHelp(Hwnd(), "");
    return 0;
}

LRESULT CMainFrame::OnHelp(WPARAM, LPARAM) {
    ProxyApp::HelpHook(Hwnd());
    return TRUE;
}

LRESULT CMainFrame::OnTrayNotify(WPARAM w, LPARAM l) {
    if (w == kAlertIconId) {
        // The window is up: a click on the balloon or its icon brings it forward; the icon
        // goes with its balloon.
        if (l == NIN_BALLOONUSERCLICK || l == WM_LBUTTONDOWN)
            SetForegroundWindow(Hwnd());
        if (l == NIN_BALLOONUSERCLICK || l == WM_LBUTTONDOWN || l == NIN_BALLOONTIMEOUT)
            RemoveAlertIcon();
        return 0;
    }
    if (l == NIN_BALLOONUSERCLICK && inTray) {
        ToggleTray();  // to the rows, one of them marked
        return 0;
    }
    TrayAction action = DecideTrayNotify(static_cast<uint32_t>(l));
    if (action == TrayAction::Restore) {
        ToggleTray();
    } else if (action == TrayAction::ShowMenu) {
        POINT at;
        GetCursorPos(&at);
        ui::Menu menu;
        if (menu.Load(IDR_CONTEXT_MENUS)) {
            // A notification-area menu closes on a click elsewhere only when its owner is in
            // the foreground, and only after a message follows it.
            SetForegroundWindow(Hwnd());
            TrackPopupMenu(menu.SubMenu(2), TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, Hwnd(),
                           nullptr);
            PostMessageW(Hwnd(), WM_NULL, 0, 0);
        }
    }
    return 0;
}

LRESULT CMainFrame::OnTaskbarCreated(WPARAM, LPARAM) {
    // Explorer restarted and forgot the icon; without it a hidden window is out of reach.
    if (inTray) {
        NOTIFYICONDATAW record = ui::TrayIconRecord(
            Hwnd(), kTrayCallbackMessage, ProgramIcon(ui::Scale(16, dpi)), kMainWindowTitle);
        notifyIcon(NIM_ADD, &record);
    }
    return 0;
}

LRESULT CMainFrame::OnToggleToolBar(WPARAM, LPARAM) {
    ui::ToggleBar(toolBar.Hwnd());
    RecalcLayout();
    return 0;
}

LRESULT CMainFrame::OnToggleStatusBar(WPARAM, LPARAM) {
    ui::ToggleBar(statusBar.Hwnd());
    RecalcLayout();
    return 0;
}

LRESULT CMainFrame::OnInitMenuPopup(WPARAM w, LPARAM) {
    HMENU menu = reinterpret_cast<HMENU>(w);
    CheckMenuItem(menu, ID_VIEW_TOOLBAR,
                  MF_BYCOMMAND | (IsWindowVisible(toolBar.Hwnd()) ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, ID_VIEW_STATUS_BAR,
                  MF_BYCOMMAND | (IsWindowVisible(statusBar.Hwnd()) ? MF_CHECKED : MF_UNCHECKED));
    return 0;
}

void CMainFrame::ShowPrompt(UINT id) {
    std::string prompt = id == 0 ? "" : ui::LoadText(id);
    prompting = !prompt.empty();
    statusBar.SetMessage(prompting ? prompt.substr(0, prompt.find('\n')) : IdleText());
}

void CMainFrame::ShowIdleText() {
    if (!prompting)
        statusBar.SetMessage(IdleText());
}

std::string CMainFrame::IdleText() const {
    std::string why = connectorView.RowProblem(connectorView.GetSelectedRow());
    return why.empty() ? ui::LoadText(IDS_IDLE_MESSAGE) : why;
}

LRESULT CMainFrame::OnMenuSelect(WPARAM w, LPARAM l) {
    UINT item = LOWORD(w), flags = HIWORD(w);
    bool closed = flags == 0xFFFF && l == 0;
    if (closed || (flags & (MF_POPUP | MF_SEPARATOR))) {
        ShowPrompt(0);
    } else if (flags & MF_SYSMENU) {
        // The system menu's commands map onto their prompts, IDS_SC_SIZE and up.
        UINT prompt = item >= SC_SIZE ? IDS_SC_SIZE + ((item - SC_SIZE) >> 4) : 0;
        if (item == SC_RESTORE)
            prompt = IDS_SC_RESTORE;
        if (item == SC_TASKLIST)
            prompt = IDS_SC_TASKLIST;
        ShowPrompt(prompt);
    } else {
        ShowPrompt(item);
    }
    return 0;
}

LRESULT CMainFrame::OnNeedToolTipText(WPARAM, LPARAM l) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(l);
    const UINT id = static_cast<UINT>(info->hdr.idFrom);
    // Only the toolbar's buttons have tooltips; the menus' commands have their prompts alone.
    const std::vector<UINT>& buttons = toolBar.Commands();
    if (std::find(buttons.begin(), buttons.end(), id) == buttons.end())
        return 0;
    // The string table holds "prompt\ntooltip" under the command's id.
    std::string text = ui::LoadText(id);
    size_t newline = text.find('\n');
    if (newline == std::string::npos)
        return 0;
    tooltip = platform::Widen(text.substr(newline + 1));
    info->lpszText = &tooltip[0];
    ShowPrompt(id);  // the button under the pointer gives its prompt too
    return 0;
}

LRESULT CMainFrame::OnHotItemChange(WPARAM, LPARAM l) {
    // The button under the pointer shows its prompt; leaving the bar shows "Ready".
    auto* hot = reinterpret_cast<NMTBHOTITEM*>(l);
    ShowPrompt((hot->dwFlags & HICF_LEAVING) ? 0 : static_cast<UINT>(hot->idNew));
    return 0;
}

LRESULT CMainFrame::OnDestroy(WPARAM, LPARAM) {
    sshConsoles.Stop();  // its sessions are clients of the connectors, which stop next
    webConsoles.Stop();  // and so are the web console's bridges
    serviceWatch.reset();
    ReserveServicePorts({});
    connectorView.DestroyWindow();
    // Every connector is stopped, all at once, and freed before the program ends.
    connectors.SetObserver(nullptr);
    connectors.Clear();
    alerts.SetOwner(nullptr);
    PostQuitMessage(0);
    return 0;
}

void CMainFrame::OnIdle() {
    if (statusBar.Hwnd())
        statusBar.UpdateIndicators();
}

bool CMainFrame::OnCmdMsg(UINT id, int code) {
    // Menus, the toolbar and the tray menu: the list first, then the frame, then the app.
    return connectorView.OnCmdMsg(id, code) || Window::OnCmdMsg(id, code) ||
           ProxyApp::OnCmdMsg(id, Hwnd());
}

bool CMainFrame::Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
    static const ui::MessageEntry<CMainFrame> kMessages[] = {
        ui::OnMessage(WM_CREATE, &CMainFrame::OnCreate),
        ui::OnMessage(WM_SETFOCUS, &CMainFrame::OnSetFocus),
        ui::OnMessage(WM_SIZE, &CMainFrame::OnSize),
        ui::OnMessage(WM_CLOSE, &CMainFrame::OnClose),
        ui::OnMessage(kTrayCallbackMessage, &CMainFrame::OnTrayNotify),
        ui::OnMessage(WM_INITMENUPOPUP, &CMainFrame::OnInitMenuPopup),
        ui::OnMessage(WM_MENUSELECT, &CMainFrame::OnMenuSelect),
        ui::OnMessage(WM_DESTROY, &CMainFrame::OnDestroy),
        ui::OnMessage(WM_HELP, &CMainFrame::OnHelp),
        ui::OnMessage(WM_DPICHANGED, &CMainFrame::OnDpiChanged),
        ui::OnMessage(kAlertMessage, &CMainFrame::OnAlert),
        ui::OnMessage(kConsoleAlertMessage, &CMainFrame::OnConsoleAlert),
        ui::OnMessage(kLoadReportMessage, &CMainFrame::OnLoadReport),
        // Registered at run time, once, when the table is first needed.
        ui::OnMessage(TaskbarCreatedMessage(), &CMainFrame::OnTaskbarCreated),
        ui::OnNotify(ui::kAnyControl, TTN_NEEDTEXTW, &CMainFrame::OnNeedToolTipText),
        ui::OnNotify(ui::kAnyControl, TBN_HOTITEMCHANGE, &CMainFrame::OnHotItemChange),
        ui::OnCommand(ID_SETTINGS, &CMainFrame::OnSettings),
        ui::OnCommand(ID_CONNECTOR_OPEN_CONSOLE, &CMainFrame::OnOpenConsole),
        ui::OnCommand(ID_CONNECTOR_RECORDINGS, &CMainFrame::OnRecordings),
        ui::OnCommand(ID_SSH_KEYS, &CMainFrame::OnSshKeys),
        ui::OnCommand(ID_QUICK_HELP, &CMainFrame::OnQuickHelp),
        ui::OnCommand(ID_VIEW_TOOLBAR, &CMainFrame::OnToggleToolBar),
        ui::OnCommand(ID_VIEW_STATUS_BAR, &CMainFrame::OnToggleStatusBar),
    };
    return ui::DispatchFrom(this, kMessages, msg, w, l, result) ||
           Window::Dispatch(msg, w, l, result);
}

}  // namespace tolvi
