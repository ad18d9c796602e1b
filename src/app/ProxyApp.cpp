// Start-up: the single-instance rule, the main frame, its menu, size and show state.
#include "app/ProxyApp.h"

#include "app/Help.h"
#include "app/SharedWindow.h"
#include "model/StartupDecision.h"
#include "config/AutoStart.h"
#include "dialogs/SettingsDialog.h"
#include "platform/RegistryStore.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "ui/Dpi.h"
#include "ui/MessageBox.h"

namespace tolvi {

const char kInstanceMutexName[] = "TOLVI-088FA840-B10D-11D3-BC36-006067709674";

ProxyApp::ProxyApp(std::string commandLine) : commandTail(CommandLineTail(commandLine)) {}

bool ProxyApp::InitInstance() {
    // The mutex only marks that an instance runs; its handle lives as long as the process.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, platform::Widen(kInstanceMutexName).c_str());
    bool alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex)
        ReleaseMutex(mutex);
    if (alreadyRunning) {
        HWND first = ReadSharedMainWindow();
        SecondInstanceAction action =
            DecideSecondInstance(first != nullptr, first && IsIconic(first));
        if (action.bringToFront)
            SetForegroundWindow(first);
        if (action.restore)
            ShowWindow(first, SW_RESTORE);
        return false;
    }

    frame = std::make_unique<CMainFrame>(
        platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kConfigurationKey),
        platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot,
                                    std::string(kConfigurationKey) + kBackupSuffix),
        commandTail);
    if (!frame->CreateEx(0, nullptr, kMainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, 0)) {
        frame.reset();
        ui::AppMessageBox(nullptr, "Could not create the main window");
        exitCode = 1;
        return false;
    }
    WriteSharedMainWindow(frame->Hwnd());
    if (mainMenu.Load(IDR_MAINFRAME))
        SetMenu(frame->Hwnd(), mainMenu.Detach());
    RECT r;
    GetWindowRect(frame->Hwnd(), &r);
    // 685 x 400 at 96 DPI, as large in proportion on a denser screen.
    MoveWindow(frame->Hwnd(), r.left, r.top, ui::Scale(685, frame->Dpi()),
               ui::Scale(400, frame->Dpi()), TRUE);
    ShowWindow(frame->Hwnd(), frame->InTray() ? SW_HIDE : SW_SHOW);
    UpdateWindow(frame->Hwnd());
    return true;
}

bool ProxyApp::OnCmdMsg(UINT id, HWND mainWindow) {
    if (id == ID_APP_ABOUT) {
        OnAbout(mainWindow);
        return true;
    }
    if (id == ID_APP_EXIT) {
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}

void ProxyApp::OnAbout(HWND owner) {
    AboutDialog about(owner);
    about.DoModal();
}

void ProxyApp::HelpHook(HWND mainWindow) {
    OpenHelp(mainWindow, "what-is-it");
}

std::string ProxyApp::RegisterAutoStart(bool startWithWindows) {
    auto runKey = platform::OpenRegistryStore(platform::RegistryRoot::CurrentUser, kRunKey);
    std::string path;
    bool known = ProgramPath(&path);
    return tolvi::RegisterAutoStart(*runKey, startWithWindows, known ? &path : nullptr);
}

bool ProxyApp::TranslateKeys(HWND frame, MSG* msg) {
    static HACCEL keys = LoadAcceleratorsW(ui::AppInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    return keys && frame && TranslateAcceleratorW(frame, keys, msg);
}

int ProxyApp::Run() {
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return static_cast<int>(msg.wParam);
            if (frame && TranslateKeys(frame->Hwnd(), &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (frame && frame->Hwnd())
            frame->OnIdle();
        WaitMessage();
    }
}

}  // namespace tolvi
