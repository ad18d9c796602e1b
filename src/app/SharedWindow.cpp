// The shared window handle in a named file mapping of the session's namespace. A section of
// the program file marked shared would be machine-wide: with two users logged on, a second
// start would bring the other user's window forward, while the instance mutex is per session.
#include "app/SharedWindow.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/Help.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

namespace tolvi {
namespace {

// Held open for the life of the first instance: the block goes with the last handle.
platform::UniqueHandle ownMapping;

// The path as the file system compares it: long form, any case.
std::string ComparablePath(const std::string& path) {
    std::wstring result = platform::Widen(path);
    DWORD length = GetLongPathNameW(result.c_str(), nullptr, 0);
    if (length > 0) {
        std::vector<wchar_t> buffer(length);
        DWORD got = GetLongPathNameW(result.c_str(), buffer.data(), length);
        if (got > 0 && got < length)
            result.assign(buffer.data(), got);
    }
    if (!result.empty())
        CharLowerBuffW(&result[0], static_cast<DWORD>(result.size()));
    return platform::Narrow(result);
}

std::string OwnMappingName() {
    std::string path;
    return SharedWindowName(ProgramPath(&path) ? path : "");
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
    platform::UniqueHandle mapping(
        OpenFileMappingW(FILE_MAP_READ, FALSE, platform::Widen(OwnMappingName()).c_str()));
    if (!mapping)
        return nullptr;
    uint32_t word = 0;
    if (void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof word)) {
        word = *static_cast<volatile uint32_t*>(view);
        UnmapViewOfFile(view);
    }
    // Window handles fit in 32 bits, also in 64-bit processes.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(word));
}

void WriteSharedMainWindow(HWND window) {
    if (!ownMapping) {
        ownMapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(uint32_t),
                                            platform::Widen(OwnMappingName()).c_str()));
    }
    if (!ownMapping)
        return;  // a second start then finds no window and brings nothing forward
    if (void* view = MapViewOfFile(ownMapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(uint32_t))) {
        *static_cast<volatile uint32_t*>(view) =
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
        UnmapViewOfFile(view);
    }
}

}  // namespace tolvi
