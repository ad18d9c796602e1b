// Folders on the Win32 file API.
#include "platform/Folder.h"

#include <windows.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

SysError ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
    entries->clear();
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(Widen(JoinPath(path, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        bool none = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        return none ? SysError{} : Win32Error(code);
    }
    do {
        std::string name = Narrow(found.cFileName);
        if (name == "." || name == "..")
            continue;
        FolderEntry e;
        e.name = name;
        e.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        // FILETIME counts 100 ns from 1601; the system clock counts from 1970.
        uint64_t ticks = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                         found.ftLastWriteTime.dwLowDateTime;
        const uint64_t k1970 = 116444736000000000ull;
        int64_t since1970 = static_cast<int64_t>(ticks) - static_cast<int64_t>(k1970);
        e.modified = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::nanoseconds(since1970 * 100)));
        e.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries->push_back(std::move(e));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return {};
}

SysError RemoveFile(const std::string& path) {
    return DeleteFileW(Widen(path).c_str()) ? SysError{} : LastWin32Error();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

}  // namespace tolvi::platform
