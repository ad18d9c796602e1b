// The main frame: the program's only top-level window, with its toolbar, status bar and the
// connector list, the two options, and the move into the notification area and back.
#pragma once
#include <functional>
#include <memory>

#include "app/StartupDecision.h"
#include "config/ConfigurationStore.h"
#include "platform/KeyValueStore.h"
#include "table/ConnectorView.h"
#include "ui/ControlBars.h"
#include "ui/Window.h"

namespace tolvi {

constexpr UINT kTrayCallbackMessage = WM_USER + 1;  // 1025
extern const char kMainWindowTitle[];

class CMainFrame : public ui::Window {
  public:
    // store is the configuration key; tail is the command line after the program's path.
    CMainFrame(std::unique_ptr<platform::KeyValueStore> store, std::string commandTail);
    ~CMainFrame() override;

    bool OnCmdMsg(UINT id, int code) override;
    BOOL DestroyWindow() override;
    bool ToggleTray();
    bool StartSockets();
    bool LoadConfiguration();
    bool SaveConfiguration();

    bool WindowShown() const { return trayState.windowShown; }
    bool InTray() const { return trayState.inTray; }
    ConnectorView& View() { return connectorView; }
    ui::ToolBar& Tools() { return toolBar; }
    ui::StatusBar& Status() { return statusBar; }
    // The DPI the frame's pixel sizes are made for: its monitor's, followed as it changes.
    UINT Dpi() const { return dpi; }
    // Keeps the lock-key indicators current; the message loop calls it when idle.
    void OnIdle();

    AppOptions options;  // AutoStart and ExitToTray
    // How Settings brings the start-with-Windows entry into line (the application's).
    std::function<void(bool, bool)> registerAutoStart;

  protected:
    bool PreCreateWindow(CREATESTRUCTA& cs) override;
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
    // Scales the bars, the list and the icons for newDpi.
    void ApplyDpi(UINT newDpi);
    void SetWindowIcons();
    bool OnNeedToolTipText(NMHDR* header);
    // The frame's own message table, without the routing of commands to the list.
    bool DispatchOwn(UINT msg, WPARAM w, LPARAM l, LRESULT* result);
    void RecalcLayout();
    void ShowPrompt(UINT id);

    ui::StatusBar statusBar;
    ui::ToolBar toolBar;
    ConnectorView connectorView;
    HICON icon;
    TrayState trayState;
    std::unique_ptr<platform::KeyValueStore> store;
    std::string commandTail;
    UINT dpi = 96;
};

}  // namespace tolvi
