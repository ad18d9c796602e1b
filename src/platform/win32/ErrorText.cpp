// Error texts from the system's message tables, NTDLL's included.
#include "platform/ErrorText.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/WideText.h"

namespace tolvi::platform {
namespace {

// Wine has no texts for the Winsock codes; these are the ones a user of the relay meets.
const char* WinsockFallbackText(int code) {
    switch (code) {
        case 10004:
            return "A blocking operation was interrupted.";
        case 10009:
            return "The file handle supplied is not valid.";
        case 10013:
            return "An attempt was made to access a socket in a way forbidden by its access "
                   "permissions.";
        case 10014:
            return "The system detected an invalid pointer address.";
        case 10022:
            return "An invalid argument was supplied.";
        case 10024:
            return "Too many open sockets.";
        case 10035:
            return "A non-blocking socket operation could not be completed immediately.";
        case 10038:
            return "An operation was attempted on something that is not a socket.";
        case 10047:
            return "An address incompatible with the requested protocol was used.";
        case 10048:
            return "Only one usage of each socket address (protocol/network address/port) is "
                   "normally permitted.";
        case 10049:
            return "The requested address is not valid in its context.";
        case 10050:
            return "A socket operation encountered a dead network.";
        case 10053:
            return "An established connection was aborted by the software in your host machine.";
        case 10054:
            return "An existing connection was forcibly closed by the remote host.";
        case 10055:
            return "No buffer space is available for a socket operation.";
        case 10057:
            return "The socket is not connected.";
        case 10060:
            return "The connection attempt timed out.";
        case 10061:
            return "No connection could be made because the target machine actively refused it.";
        case 10093:
            return "WSAStartup has not been called successfully.";
        default:
            return nullptr;
    }
}

}  // namespace

std::string GetSystemErrorText(int code) {
    HMODULE ntdll = LoadLibraryW(L"NTDLL.DLL");
    wchar_t* buffer = nullptr;
    // Insert sequences are left as they stand: with no arguments to fill them, expanding
    // them would read arguments that are not there.
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                  FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageW(flags, ntdll, static_cast<DWORD>(code), 0x0400,
                                  reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::string text = (length && buffer) ? Narrow(buffer, static_cast<int>(length)) : "";
    size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.erase(end);
    if (buffer)
        LocalFree(buffer);
    if (ntdll)
        FreeLibrary(ntdll);
    if (text.empty()) {
        if (const char* fallback = WinsockFallbackText(code))
            return fallback;
        char number[48];
        std::snprintf(number, sizeof number, "Unknown error %d", code);
        text = number;
    }
    return text;
}

}  // namespace tolvi::platform
