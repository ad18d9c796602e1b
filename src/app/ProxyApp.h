// The application object: one instance per logon, the main frame, the message loop.
#pragma once
#include <memory>
#include <string>

#include "app/MainFrame.h"
#include "ui/Controls.h"

namespace tolvi {

extern const char kInstanceMutexName[];

class ProxyApp {
  public:
    // commandLine is the whole command line, program path first, in UTF-8.
    explicit ProxyApp(std::string commandLine);

    // True to run the message loop; false to end at once with ExitCode().
    bool InitInstance();
    // The message loop; returns the process's exit code.
    int Run();
    int ExitCode() const { return exitCode; }
    CMainFrame* MainFrame() { return frame.get(); }

    // The application's own commands: About, and Exit as a close request to mainWindow.
    static bool OnCmdMsg(UINT id, HWND mainWindow);
    static void OnAbout(HWND owner);
    // The help hook (the classic frameworks' WinHelp): opens the help at its introduction.
    static void HelpHook(HWND mainWindow);
    // Turns Ctrl+N, Ctrl+E, Ctrl+R and Ctrl+D into their commands for frame (key table 128);
    // true when msg was such a key and has been sent.
    static bool TranslateKeys(HWND frame, MSG* msg);
    // Writes or removes the start-with-Windows entry; returns the message that tells of a
    // failure, "" when there was none.
    static std::string RegisterAutoStart(bool startWithWindows);

  private:
    ui::Menu mainMenu;
    std::unique_ptr<CMainFrame> frame;
    std::string commandTail;
    int exitCode = 0;
};

}  // namespace tolvi
