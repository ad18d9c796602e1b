// The tests' socket tools, on Winsock or BSD sockets.
#include "support/SocketTools.h"

#include "platform/Sockaddr.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#endif

#include <cstring>

namespace tolvi::test {
namespace {

#ifdef _WIN32
using Native = SOCKET;
int LastError() {
    return WSAGetLastError();
}
#else
using Native = int;
int LastError() {
    return errno;
}
#endif

Native N(const platform::TcpSocket& socket) {
    return static_cast<Native>(socket.Native());
}

// Waits for events; 1 when revents has one of ready, 0 on timeout, -1 on failure.
int Wait(const platform::TcpSocket& socket, short events, short ready, long micros) {
#ifdef _WIN32
    WSAPOLLFD p{N(socket), events, 0};
    int n = WSAPoll(&p, 1, static_cast<INT>((micros + 999) / 1000));
#else
    pollfd p{N(socket), events, 0};
    timespec timeout{micros / 1000000, (micros % 1000000) * 1000};
    int n;
    do {
        n = ppoll(&p, 1, &timeout, nullptr);
    } while (n < 0 && errno == EINTR);
#endif
    if (n < 0)
        return -1;
    return (n > 0 && (p.revents & ready)) ? 1 : 0;
}

}  // namespace

platform::Endpoint At(const std::string& address, uint16_t port) {
    platform::Endpoint at = platform::Endpoint::AnyV4(port);
    if (!address.empty())
        platform::ParseAddress(address, &at);
    return at;
}

uint16_t LocalPortOf(platform::TcpSocket& socket) {
    platform::Endpoint local;
    return socket.LocalEndpoint(&local).Failed() ? 0 : local.port;
}

platform::SysError Connect(platform::TcpSocket& socket, const std::string& address, uint16_t port) {
    sockaddr_storage sa;
    platform::SockaddrLength length = platform::ToSockaddr(At(address, port), &sa);
    int r;
    do {
        r = connect(N(socket), reinterpret_cast<sockaddr*>(&sa), length);
    } while (r != 0 && LastError() == EINTR);
    if (r == 0)
        return {};
    return platform::SysError{LastError(), platform::ErrorKind::Other};
}

int WaitReadable(platform::TcpSocket& socket, long micros) {
    return Wait(socket, POLLIN, POLLIN | POLLHUP | POLLERR, micros);
}

int WaitWritable(platform::TcpSocket& socket, long micros) {
    return Wait(socket, POLLOUT, POLLOUT | POLLHUP | POLLERR, micros);
}

void Abort(platform::TcpSocket& socket) {
    if (!socket.IsValid())
        return;
    linger l{1, 0};
    setsockopt(N(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    socket.Close();
}

}  // namespace tolvi::test
