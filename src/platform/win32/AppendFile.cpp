// Files that only grow, on the Win32 file API.
#include "platform/AppendFile.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

SysError AppendFile::Open(const std::string& path, uint64_t* size, bool) {
    Close();
    // Others may read the log while it is written, and rotate or delete it.
    UniqueFile file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastWin32Error();
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length))
        return LastWin32Error();
    *size = static_cast<uint64_t>(length.QuadPart);
    handle = std::move(file);
    return {};
}

bool AppendFile::IsOpen() const {
    return static_cast<bool>(handle);
}

SysError AppendFile::Write(const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle.get(), p, piece, &written, nullptr))
            return LastWin32Error();
        if (written == 0)
            return Win32Error(ERROR_WRITE_FAULT);
        p += written;
        size -= written;
    }
    return {};
}

void AppendFile::Close() {
    handle.reset();
}

SysError ReplaceFile(const std::string& from, const std::string& to) {
    if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return LastWin32Error();
    return {};
}

}  // namespace tolvi::platform
