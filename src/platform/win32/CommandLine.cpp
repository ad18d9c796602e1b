// The command line on Windows, from GetCommandLineW.
#include "platform/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/WideText.h"

namespace tolvi::platform {

std::vector<std::string> ProgramArguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

void UseUtf8Output() {
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace tolvi::platform
