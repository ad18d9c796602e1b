// A duplicate socket for libssh, on Winsock: WSADuplicateSocket into this same process.
#include "ssh/SocketHandOver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/ErrorText.h"

namespace tolvi::ssh {

bool DescriptorForLibssh(platform::TcpSocket& socket, intptr_t* descriptor, std::string* why) {
    SOCKET original = static_cast<SOCKET>(socket.Native());
    WSAPROTOCOL_INFOW info;
    SOCKET copy = INVALID_SOCKET;
    if (WSADuplicateSocketW(original, GetCurrentProcessId(), &info) == 0)
        copy = WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0,
                          WSA_FLAG_OVERLAPPED);
    if (copy == INVALID_SOCKET) {
        *why = platform::GetSystemErrorText(WSAGetLastError());
        return false;
    }
    // An accepted socket may still be non-blocking from the listener's event selection;
    // libssh sets what it wants itself.
    u_long zero = 0;
    ioctlsocket(copy, FIONBIO, &zero);
    BOOL one = TRUE;
    setsockopt(copy, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    *descriptor = static_cast<intptr_t>(copy);
    return true;
}

void CloseDescriptor(intptr_t descriptor) {
    closesocket(static_cast<SOCKET>(descriptor));
}

}  // namespace tolvi::ssh
