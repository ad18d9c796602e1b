// tolvi.exe: the Named Pipe TCP Proxy.
#include <windows.h>

#include "app/ProxyApp.h"
#include "platform/win32/WideText.h"

// The wide entry point (linked with -municode). The whole command line is taken rather than
// the tail the start-up code cut, so that "minimized" is found by the program's own rule.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tolvi::ProxyApp app(tolvi::platform::Narrow(GetCommandLineW()));
    if (!app.InitInstance())
        return app.ExitCode();
    return app.Run();
}
