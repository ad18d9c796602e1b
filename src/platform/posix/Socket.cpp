// TCP sockets on BSD sockets.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/PosixError.h"

namespace tolvi::platform {
namespace {

int Fd(intptr_t handle) {
    return static_cast<int>(handle);
}

SysError Check(int result) {
    return result == 0 ? SysError{} : LastErrno();
}

bool FillAddress(const std::string& address, uint16_t port, sockaddr_in* out) {
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    if (address.empty()) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, address.c_str(), &out->sin_addr) == 1;
}

}  // namespace

const char kExclusivePortOption[] = "SO_REUSEADDR";

SysError StartSocketLibrary() {
    signal(SIGPIPE, SIG_IGN);
    return {};
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(other.Release()) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.Release();
    }
    return *this;
}

TcpSocket TcpSocket::CreateStream(SysError* error) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
    return Check(setsockopt(Fd(handle_), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one));
}

SysError TcpSocket::Bind(const std::string& address, uint16_t port) {
    sockaddr_in sa;
    if (!FillAddress(address, port, &sa))
        return ErrnoError(EINVAL);
    return Check(bind(Fd(handle_), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

SysError TcpSocket::Listen(int backlog) {
    return Check(listen(Fd(handle_), backlog));
}

SysError TcpSocket::SetNonBlocking() {
    int flags = fcntl(Fd(handle_), F_GETFL, 0);
    if (flags < 0)
        return LastErrno();
    return Check(fcntl(Fd(handle_), F_SETFL, flags | O_NONBLOCK));
}

SysError TcpSocket::SetOobInline() {
    int one = 1;
    return Check(setsockopt(Fd(handle_), SOL_SOCKET, SO_OOBINLINE, &one, sizeof one));
}

SysError TcpSocket::Accept(TcpSocket* client) {
    int fd;
    do {
        fd = accept4(Fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return LastErrno();
    *client = TcpSocket(fd);
    return {};
}

SysError TcpSocket::PeerAddress(std::string* dotted) {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getpeername(Fd(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastErrno();
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text))
        return LastErrno();
    *dotted = text;
    return {};
}

SysError TcpSocket::LocalPort(uint16_t* port) {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastErrno();
    *port = ntohs(sa.sin_port);
    return {};
}

IoResult TcpSocket::Receive(void* buffer, size_t size) {
    ssize_t n;
    do {
        n = recv(Fd(handle_), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return {-1, LastErrno()};
    return {static_cast<long>(n), {}};
}

IoResult TcpSocket::Send(const void* data, size_t size) {
    ssize_t n;
    do {
        n = send(Fd(handle_), data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return {-1, LastErrno()};
    return {static_cast<long>(n), {}};
}

}  // namespace tolvi::platform
