// TCP sockets on BSD sockets.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/Sockaddr.h"
#include "platform/posix/PosixError.h"

namespace tolvi::platform {
namespace {

int Fd(intptr_t handle) {
    return static_cast<int>(handle);
}

SysError Check(int result) {
    return result == 0 ? SysError{} : LastErrno();
}

}  // namespace

const char kExclusivePortOption[] = "SO_REUSEADDR";

SysError StartSocketLibrary() {
    signal(SIGPIPE, SIG_IGN);
    return {};
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : native(other.Release()) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        native = other.Release();
    }
    return *this;
}

TcpSocket TcpSocket::CreateStream(SysError* error, Family family) {
    int fd = socket(family == Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && family == Family::V6) {
        // IPv6 only, as on Windows, unless SetDualStack says otherwise: an IPv4 socket may
        // then listen on the same port.
        int one = 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    *error = fd < 0 ? LastErrno() : SysError{};
    return TcpSocket(fd < 0 ? kInvalid : fd);
}

void TcpSocket::Close() {
    if (IsValid())
        close(Fd(Release()));
}

SysError TcpSocket::SetExclusivePort() {
    int one = 1;
    // Only the address is reused (a port whose old connections linger); a second listener on
    // a port where one listens is refused here, and the connectors hand theirs over instead.
    return Check(setsockopt(Fd(native), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one));
}

SysError TcpSocket::SetDualStack() {
    int zero = 0;
    return Check(setsockopt(Fd(native), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero));
}

SysError TcpSocket::Bind(const Endpoint& at) {
    sockaddr_storage sa;
    socklen_t length = ToSockaddr(at, &sa);
    return Check(bind(Fd(native), reinterpret_cast<sockaddr*>(&sa), length));
}

SysError TcpSocket::Listen(int backlog) {
    return Check(listen(Fd(native), backlog));
}

void TcpSocket::CloseAfterSending() {
    if (!IsValid())
        return;
    shutdown(Fd(native), SHUT_WR);
    SetNonBlocking();
    char drop[4096];
    for (int round = 0; round < 16 && Receive(drop, sizeof drop).count > 0; ++round) {
    }
    Close();
}

SysError TcpSocket::SetNonBlocking() {
    int flags = fcntl(Fd(native), F_GETFL, 0);
    if (flags < 0)
        return LastErrno();
    return Check(fcntl(Fd(native), F_SETFL, flags | O_NONBLOCK));
}

SysError TcpSocket::SetOobInline() {
    int one = 1;
    return Check(setsockopt(Fd(native), SOL_SOCKET, SO_OOBINLINE, &one, sizeof one));
}

SysError TcpSocket::Accept(TcpSocket* client) {
    int fd;
    do {
        fd = accept4(Fd(native), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return LastErrno();
    *client = TcpSocket(fd);
    return {};
}

SysError TcpSocket::PeerAddress(Endpoint* peer) {
    sockaddr_storage sa;
    socklen_t len = sizeof sa;
    if (getpeername(Fd(native), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastErrno();
    if (!FromSockaddr(sa, peer))
        return ErrnoError(EAFNOSUPPORT);
    *peer = peer->Unmapped();
    return {};
}

SysError TcpSocket::LocalEndpoint(Endpoint* local) {
    sockaddr_storage sa;
    socklen_t len = sizeof sa;
    if (getsockname(Fd(native), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastErrno();
    return FromSockaddr(sa, local) ? SysError{} : ErrnoError(EAFNOSUPPORT);
}

IoResult TcpSocket::Receive(void* buffer, size_t size) {
    ssize_t n;
    do {
        n = recv(Fd(native), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return {-1, LastErrno()};
    return {static_cast<long>(n), {}};
}

IoResult TcpSocket::Send(const void* data, size_t size) {
    ssize_t n;
    do {
        n = send(Fd(native), data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return {-1, LastErrno()};
    return {static_cast<long>(n), {}};
}

}  // namespace tolvi::platform

// A connected pair, kept apart from the rest of the sockets' calls.
namespace tolvi::platform {

SysError ConnectedPair(TcpSocket* a, TcpSocket* b) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return LastErrno();
    // A console's output streams through the pair as it would through a loopback TCP
    // connection, whose buffers grow far beyond a local socket's default: give it room.
    for (int fd : fds) {
        int size = 1 << 20;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    *a = TcpSocket(fds[0]);
    *b = TcpSocket(fds[1]);
    return {};
}

}  // namespace tolvi::platform
