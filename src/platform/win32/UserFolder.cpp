// The user's folder on Windows: the roaming application data, as Windows names it.
#include "platform/UserFolder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/WideText.h"

namespace tolvi::platform {

bool MakeFolder(const std::string& path) {
    std::wstring wide = Widen(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string UserConfigFolder() {
    PWSTR known = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &known)))
        folder = Narrow(known) + "\\tolvi";
    CoTaskMemFree(known);
    return !folder.empty() && MakeFolder(folder) ? folder : "";
}

}  // namespace tolvi::platform
