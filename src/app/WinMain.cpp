// tolvi.exe: the Named Pipe TCP Proxy.
#include <windows.h>

#include "app/ProxyApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tolvi::ProxyApp app(GetCommandLineA());
    if (!app.InitInstance())
        return app.ExitCode();
    return app.Run();
}
