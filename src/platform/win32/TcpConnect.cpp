// A connection within a time limit on Winsock: a non-blocking connect and a select, which
// names a refused connection among its exceptions.
#include "platform/TcpConnect.h"

#include <winsock2.h>

#include "platform/Sockaddr.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

SysError ConnectWithin(TcpSocket& socket, const Endpoint& to, int timeoutMs) {
    if (SysError e = socket.SetNonBlocking(); e.Failed())
        return e;
    const SOCKET s = static_cast<SOCKET>(socket.Native());
    sockaddr_storage sa;
    SockaddrLength length = ToSockaddr(to, &sa);
    if (connect(s, reinterpret_cast<sockaddr*>(&sa), length) == 0)
        return {};
    if (WSAGetLastError() != WSAEWOULDBLOCK)
        return LastSocketError();
    fd_set done, failed;
    FD_ZERO(&done);
    FD_ZERO(&failed);
    FD_SET(s, &done);
    FD_SET(s, &failed);
    timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int ready = select(0, nullptr, &done, &failed, &limit);
    if (ready == SOCKET_ERROR)
        return LastSocketError();
    if (ready == 0)
        return Win32Error(WSAETIMEDOUT);
    int code = 0;
    int size = sizeof code;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) != 0)
        return LastSocketError();
    // Winsock reports a refusal among the exceptions, sometimes with SO_ERROR already cleared.
    if (code == 0 && FD_ISSET(s, &failed))
        code = WSAECONNREFUSED;
    return Win32Error(static_cast<DWORD>(code));
}

}  // namespace tolvi::platform
