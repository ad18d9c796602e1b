// The main frame: the program's only top-level window, with its toolbar, status bar and the
// connector list, the program's options (start with Windows, close into the notification
// area, the web console's port), and the move into the notification area and back.
#pragma once
#include <functional>
#include <memory>

#include "app/EngineAlerts.h"
#include "app/ServiceWatch.h"
#include "model/StartupDecision.h"
#include "config/ConfigurationStore.h"
#include "model/AuditTrail.h"
#include "model/ConnectorFactory.h"
#include "model/ConnectorHost.h"
#include "model/ConnectorList.h"
#include "platform/KeyValueStore.h"
#include "table/ConnectorView.h"
#include "ui/ControlBars.h"
#include "ui/TrayIcon.h"
#include "ui/Window.h"
#include "ssh/SshHost.h"
#include "web/WebConsoleServer.h"

namespace tolvi {

constexpr UINT kTrayCallbackMessage = WM_USER + 1;  // 1025
// The notification-area icons: the tray's, and the one a balloon comes from while the
// window is up.
constexpr UINT kTrayIconId = 0;
constexpr UINT kAlertIconId = 1;
// Posted to itself by the load: what it found wrong is shown once the window is up.
constexpr UINT kLoadReportMessage = WM_APP + 2;
extern const char kMainWindowTitle[];

class CMainFrame : public ui::Window {
  public:
    // store is the configuration key, backup the key beside it that keeps a copy of what a
    // load could not read; tail is the command line after the program's path.
    CMainFrame(std::unique_ptr<platform::KeyValueStore> store,
               std::unique_ptr<platform::KeyValueStore> backup, std::string commandTail);
    ~CMainFrame() override;

    bool OnCmdMsg(UINT id, int code) override;
    BOOL DestroyWindow() override;
    // Moves between the window and the notification area; false when the icon could not be
    // added, and the window stays where it is.
    bool ToggleTray();
    bool StartSockets();
    // Loads and starts the stored connectors; what could not be loaded or started is told
    // in one box once the window is up, never while start-up waits. False when there was any.
    bool LoadConfiguration();
    bool SaveConfiguration();

    // True while the window is hidden and the notification-area icon stands for it.
    bool InTray() const { return inTray; }
    ConnectorView& View() { return connectorView; }
    ConnectorList& Connectors() { return connectors; }
    // What the connectors report to: the boxes of their alerts.
    ConnectorObserver& Alerts() { return alerts; }
    ui::ToolBar& Tools() { return toolBar; }
    ui::StatusBar& Status() { return statusBar; }
    // The DPI the frame's pixel sizes are made for: its monitor's, followed as it changes.
    UINT Dpi() const { return dpi; }
    // Keeps the lock-key indicators current; the message loop calls it when idle.
    void OnIdle();

    AppOptions options;  // AutoStart, ExitToTray, WebConsolePort and the SSH server's
    // How Settings brings the start-with-Windows entry into line (the application's); returns
    // the message that tells of a failure, "" when there was none.
    std::function<std::string(bool startWithWindows)> registerAutoStart;
    // How the notification-area icon is added and removed (the shell's Shell_NotifyIconW).
    std::function<BOOL(DWORD, NOTIFYICONDATAW*)> notifyIcon;
    // What the window knows of the tolvi service; asked every second (a thread of the
    // frame's own asks the service unless told otherwise before the window is made).
    std::function<ServiceView()> readService;
    // How a console's address is opened: the default browser (ShellExecuteW).
    std::function<void(const std::string& url)> openUrl;
    web::WebConsoleServer& WebConsoles() { return webConsoles; }
    ssh::SshHost& SshConsoles() { return sshConsoles; }
    // Where the SSH server's keys file is: authorized_keys in the user's tolvi folder.
    std::string SshKeysFile() const;
    // How File > SSH keys opens that file: the user's editor (ShellExecuteW) unless told.
    std::function<void(const std::string& path)> openFile;
    // How the load starts each connector's worker (its StartWorker).
    void SetWorkerStarter(WorkerStarter start) { host.SetWorkerStarter(std::move(start)); }

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;
    bool Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) override;

  private:
    LRESULT OnCreate(WPARAM, LPARAM);
    LRESULT OnSetFocus(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    LRESULT OnTrayNotify(WPARAM, LPARAM);
    LRESULT OnToggleToolBar(WPARAM, LPARAM);
    LRESULT OnToggleStatusBar(WPARAM, LPARAM);
    LRESULT OnInitMenuPopup(WPARAM, LPARAM);
    LRESULT OnMenuSelect(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnTaskbarCreated(WPARAM, LPARAM);
    LRESULT OnSettings(WPARAM, LPARAM);
    LRESULT OnQuickHelp(WPARAM, LPARAM);
    LRESULT OnHelp(WPARAM, LPARAM);
    LRESULT OnDpiChanged(WPARAM, LPARAM);
    LRESULT OnAlert(WPARAM, LPARAM);
    // A console's line matched: its row is marked and a balloon tells it.
    LRESULT OnConsoleAlert(WPARAM, LPARAM);
    // The balloon comes from the tray icon, or, while the window is up and has none, from an
    // icon of its own that goes when the balloon does.
    void ShowAlertBalloon(const std::string& title, const std::string& text);
    void RemoveAlertIcon();
    LRESULT OnLoadReport(WPARAM, LPARAM);
    LRESULT OnNeedToolTipText(WPARAM, LPARAM);
    LRESULT OnHotItemChange(WPARAM, LPARAM);
    LRESULT OnOpenConsole(WPARAM, LPARAM);
    LRESULT OnRecordings(WPARAM, LPARAM);
    // The selected row's console key (its port text), whether it is the service's or ours;
    // "" with a box that says why when there is none.
    std::string SelectedConsoleKey();
    // Opens url in the browser, or says that the web console does not run.
    void OpenInBrowser(const std::string& url);
    LRESULT OnSshKeys(WPARAM, LPARAM);
    // Starts, moves or stops the SSH server as the options say; "" or what went wrong.
    std::string StartSsh();
    // Every second, after the list's own rows: the service's rows, the ports kept for it,
    // and the consoles the web console offers.
    void OnRefresh();
    std::vector<web::WebConsole> ConsolesNow() const;
    // Starts the web console on the port of the options; "" or what went wrong.
    std::string StartWebConsole();
    // Scales the bars, the list and the icons for newDpi.
    void ApplyDpi(UINT newDpi);
    void SetWindowIcons();
    void RecalcLayout();
    // The status bar's message: the prompt of command id, under the highlight or the pointer;
    // with none (0), what the bar says while idle.
    void ShowPrompt(UINT id);
    // What the bar says while no prompt covers it, now: why the selected row is in Error, or
    // "Ready".
    void ShowIdleText();
    std::string IdleText() const;
    // Asks the shell to take the icon away; harmless when there is none.
    void RemoveTrayIcon();

    ui::StatusBar statusBar;
    ui::ToolBar toolBar;
    EngineAlerts alerts;  // outlives the connectors, which report to it
    AuditTrail audit;     // and this, which they write to
    ConnectorHost host{&alerts};
    ConnectorList& connectors = host.Connectors();  // outlives its view
    // What the SSH server says that keeps everyone out is shown in a box; the rest is its
    // own business.
    class SshWindowEvents : public ssh::SshEvents {
      public:
        SshWindowEvents(EngineAlerts& alerts, AuditSink& audit) : boxes(alerts), audit(audit) {}
        void OnSshNotice(const std::string&) override {}
        void OnSshProblem(const std::string& line) override { boxes.OnProgramAlert(line); }
        void OnLoginRefused(const std::string& address, const std::string& userAsSent,
                            const std::string& keyFingerprint) override {
            audit.LoginRefused(address, userAsSent, keyFingerprint);
        }

      private:
        EngineAlerts& boxes;
        AuditSink& audit;
    } sshEvents{alerts, audit};
    ssh::SshHost sshConsoles{host, sshEvents};
    ConnectorView connectorView{connectors};
    HICON icon;
    bool inTray = false;
    bool alertIconShown = false;  // the icon of its own that a balloon came from
    bool prompting = false;  // a command's prompt is in the status bar
    std::unique_ptr<platform::KeyValueStore> store;
    std::unique_ptr<platform::KeyValueStore> backup;
    bool backupPending = false;  // the key holds what a save would lose: copy it first, once
    std::string loadReport;      // what the load found wrong, until it is shown
    std::wstring tooltip;        // the text a tooltip points to while it shows
    std::string commandTail;
    UINT dpi = 96;
    std::unique_ptr<ServiceWatch> serviceWatch;
    std::vector<service::ConnectorState> serviceRows;  // as shown now
    std::vector<int> servicePorts;                     // as kept clear now
    web::WebConsoleServer webConsoles;
};

}  // namespace tolvi
