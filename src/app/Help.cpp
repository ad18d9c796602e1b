// Opening the help page.
#include "app/Help.h"

#include "model/FileUrl.h"

#include <shellapi.h>

#include <vector>

#include "platform/win32/WideText.h"

namespace tolvi {
namespace {

void OpenWithShell(HWND owner, const std::string& address) {
    ShellExecuteW(owner, L"open", platform::Widen(address).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

HelpOpener opener = OpenWithShell;

}  // namespace

bool ProgramPath(std::string* path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return false;
        if (n < buffer.size()) {
            *path = platform::Narrow(buffer.data(), static_cast<int>(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);  // cut short: try again with more room
    }
}

std::string HelpAddress(const std::string& section) {
    std::string path;
    if (!ProgramPath(&path))
        path = "tolvi.exe";
    size_t dot = path.find_last_of(".\\/");
    if (dot != std::string::npos && path[dot] == '.')
        path.erase(dot);
    return FileUrl(path + ".html", section);
}

void SetHelpOpener(HelpOpener o) {
    opener = o ? o : OpenWithShell;
}

void OpenHelp(HWND owner, const std::string& section) {
    opener(owner, HelpAddress(section));
}

}  // namespace tolvi
