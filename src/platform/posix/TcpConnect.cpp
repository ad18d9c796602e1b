// A connection within a time limit on BSD sockets: a non-blocking connect and a poll.
#include "platform/TcpConnect.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>

#include "platform/Sockaddr.h"
#include "platform/posix/PosixError.h"

namespace tolvi::platform {

SysError ConnectWithin(TcpSocket& socket, const Endpoint& to, int timeoutMs) {
    if (SysError e = socket.SetNonBlocking(); e.Failed())
        return e;
    const int fd = static_cast<int>(socket.Native());
    sockaddr_storage sa;
    SockaddrLength length = ToSockaddr(to, &sa);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), length) == 0)
        return {};
    if (errno != EINPROGRESS && errno != EINTR)
        return LastErrno();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting = {fd, POLLOUT, 0};
        int ready = poll(&waiting, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return LastErrno();
        if (ready == 0)
            return ErrnoError(ETIMEDOUT);
        int code = 0;
        socklen_t size = sizeof code;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0)
            return LastErrno();
        return ErrnoError(code);
    }
}

}  // namespace tolvi::platform
