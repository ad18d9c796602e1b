// Sorting Win32 and Winsock error codes into the engine's error kinds.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "platform/SysError.h"

namespace tolvi::platform {

inline SysError Win32Error(DWORD code) {
    ErrorKind kind = ErrorKind::Other;
    switch (code) {
        case 0:
            kind = ErrorKind::None;
            break;
        case WSAEWOULDBLOCK:
        case ERROR_IO_PENDING:
            kind = ErrorKind::WouldBlock;
            break;
        case WSAEADDRINUSE:
            kind = ErrorKind::AddressInUse;
            break;
        case WSAEACCES:
        case ERROR_ACCESS_DENIED:
            kind = ErrorKind::AccessDenied;
            break;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENOTCONN:
            kind = ErrorKind::PeerGone;
            break;
        case WSAEAFNOSUPPORT:
        case WSAEADDRNOTAVAIL:
        case WSAEPROTONOSUPPORT:
            kind = ErrorKind::NotOnThisMachine;
            break;
        case WSAEMFILE:
        case WSAENOBUFS:
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_NO_SYSTEM_RESOURCES:
            kind = ErrorKind::OutOfResources;
            break;
        case WSAENOTSOCK:
        case WSAEINVAL:
        case WSAEOPNOTSUPP:
        case WSAENETDOWN:
        case WSANOTINITIALISED:
        case ERROR_INVALID_HANDLE:
            kind = ErrorKind::NotUsable;
            break;
        default:
            break;
    }
    return {static_cast<int>(code), kind};
}

inline SysError LastWin32Error() {
    return Win32Error(GetLastError());
}
inline SysError LastSocketError() {
    return Win32Error(static_cast<DWORD>(WSAGetLastError()));
}

}  // namespace tolvi::platform
