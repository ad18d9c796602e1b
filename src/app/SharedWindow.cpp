// The shared window handle in a named file mapping of the session's namespace. A section of
// the program file marked shared would be machine-wide: with two users logged on, a second
// start would bring the other user's window forward, while the instance mutex is per session.
#include "app/SharedWindow.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tolvi {
namespace {

// Held open for the life of the first instance: the block goes with the last handle.
HANDLE ownMapping = nullptr;

// The path as the file system compares it: long form, any case.
std::string ComparablePath(const std::string& path) {
    std::string result = path;
    DWORD length = GetLongPathNameA(path.c_str(), nullptr, 0);
    if (length > 0) {
        std::vector<char> buffer(length);
        if (GetLongPathNameA(path.c_str(), buffer.data(), length) < length)
            result = buffer.data();
    }
    if (!result.empty())
        CharLowerBuffA(&result[0], static_cast<DWORD>(result.size()));
    return result;
}

std::string OwnProgramPath() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return "";
        if (n < path.size())
            return std::string(path.data(), n);
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::string SharedWindowName(const std::string& programPath) {
    // FNV-1a: a name of fixed length for a path of any length.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : ComparablePath(programPath))
        hash = (hash ^ c) * 1099511628211ull;
    char name[96];
    std::snprintf(name, sizeof name, "Local\\TOLVI-088FA840-B10D-11D3-BC36-006067709674-%016llx",
                  static_cast<unsigned long long>(hash));
    return name;
}

HWND ReadSharedMainWindow() {
    HANDLE mapping =
        OpenFileMappingA(FILE_MAP_READ, FALSE, SharedWindowName(OwnProgramPath()).c_str());
    if (!mapping)
        return nullptr;
    uint32_t word = 0;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof word)) {
        word = *static_cast<volatile uint32_t*>(view);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    // Window handles fit in 32 bits, also in 64-bit processes.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(word));
}

void WriteSharedMainWindow(HWND window) {
    if (!ownMapping) {
        ownMapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(uint32_t),
                               SharedWindowName(OwnProgramPath()).c_str());
    }
    if (!ownMapping)
        return;  // a second start then finds no window and brings nothing forward
    if (void* view = MapViewOfFile(ownMapping, FILE_MAP_WRITE, 0, 0, sizeof(uint32_t))) {
        *static_cast<volatile uint32_t*>(view) =
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
        UnmapViewOfFile(view);
    }
}

}  // namespace tolvi
