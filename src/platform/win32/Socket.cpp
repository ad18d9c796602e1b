// TCP sockets on Winsock 2.
#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/Sockaddr.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

SOCKET S(intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

SysError Check(int result) {
    return result == 0 ? SysError{} : LastSocketError();
}

}  // namespace

const char kExclusivePortOption[] = "SO_EXCLUSIVEADDRUSE";

SysError StartSocketLibrary() {
    WSADATA data;
    int code = WSAStartup(MAKEWORD(2, 2), &data);
    return code == 0 ? SysError{} : Win32Error(static_cast<DWORD>(code));
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : native(other.Release()),
      waitEvent(std::move(other.waitEvent)),
      listening(other.listening),
      newsAnnounced(other.newsAnnounced),
      newsWithoutConnection(other.newsWithoutConnection) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        native = other.Release();
        waitEvent = std::move(other.waitEvent);
        listening = other.listening;
        newsAnnounced = other.newsAnnounced;
        newsWithoutConnection = other.newsWithoutConnection;
    }
    return *this;
}

void* TcpSocket::WaitEvent() {
    if (!waitEvent && IsValid()) {
        // Auto-reset: the wait that it ends clears it, and each network event sets it only
        // once until the call that takes it (recv, send, accept) is made again.
        // A listener asks for connections only: a socket it accepts inherits its selection,
        // and would otherwise report its own first events to the listener's event.
        const long events = listening ? FD_ACCEPT : FD_READ | FD_WRITE | FD_CLOSE;
        UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!event || WSAEventSelect(S(native), event.get(), events) != 0) {
            return nullptr;
        }
        waitEvent = std::move(event);
    }
    return waitEvent.get();
}

TcpSocket TcpSocket::CreateStream(SysError* error, Family family) {
    SOCKET s = socket(family == Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    *error = s == INVALID_SOCKET ? LastSocketError() : SysError{};
    return TcpSocket(s == INVALID_SOCKET ? kInvalid : static_cast<intptr_t>(s));
}

void TcpSocket::Close() {
    if (IsValid())
        closesocket(S(Release()));
    waitEvent.reset();
}

SysError TcpSocket::SetExclusivePort() {
    BOOL one = TRUE;
    return Check(setsockopt(S(native), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                            reinterpret_cast<const char*>(&one), sizeof one));
}

SysError TcpSocket::SetDualStack() {
    DWORD zero = 0;
    return Check(setsockopt(S(native), IPPROTO_IPV6, IPV6_V6ONLY,
                            reinterpret_cast<const char*>(&zero), sizeof zero));
}

SysError TcpSocket::Bind(const Endpoint& at) {
    sockaddr_storage sa;
    int length = ToSockaddr(at, &sa);
    return Check(bind(S(native), reinterpret_cast<sockaddr*>(&sa), length));
}

SysError TcpSocket::Listen(int backlog) {
    SysError error = Check(listen(S(native), backlog));
    listening = !error.Failed();
    return error;
}

void TcpSocket::CloseAfterSending() {
    if (!IsValid())
        return;
    shutdown(S(native), SD_SEND);
    SetNonBlocking();
    char drop[4096];
    for (int round = 0; round < 16 && Receive(drop, sizeof drop).count > 0; ++round) {
    }
    Close();
}

SysError TcpSocket::SetNonBlocking() {
    u_long one = 1;
    return Check(ioctlsocket(S(native), FIONBIO, &one));
}

SysError TcpSocket::SetOobInline() {
    BOOL one = TRUE;
    return Check(setsockopt(S(native), SOL_SOCKET, SO_OOBINLINE,
                            reinterpret_cast<const char*>(&one), sizeof one));
}

SysError TcpSocket::Accept(TcpSocket* client) {
    SOCKET s = accept(S(native), nullptr, nullptr);
    const bool announced = newsAnnounced;
    newsAnnounced = false;
    if (s == INVALID_SOCKET) {
        SysError error = LastSocketError();
        if (announced && error.Is(ErrorKind::WouldBlock))
            newsWithoutConnection = true;
        return error;
    }
    newsWithoutConnection = false;
    // An accepted socket inherits the listener's event selection; it gets its own when
    // someone waits on it.
    if (waitEvent)
        WSAEventSelect(s, nullptr, 0);
    *client = TcpSocket(static_cast<intptr_t>(s));
    return {};
}

SysError TcpSocket::PeerAddress(Endpoint* peer) {
    sockaddr_storage sa;
    int len = sizeof sa;
    if (getpeername(S(native), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastSocketError();
    if (!FromSockaddr(sa, peer))
        return Win32Error(WSAEAFNOSUPPORT);
    *peer = peer->Unmapped();
    return {};
}

SysError TcpSocket::LocalEndpoint(Endpoint* local) {
    sockaddr_storage sa;
    int len = sizeof sa;
    if (getsockname(S(native), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return LastSocketError();
    return FromSockaddr(sa, local) ? SysError{} : Win32Error(WSAEAFNOSUPPORT);
}

IoResult TcpSocket::Receive(void* buffer, size_t size) {
    int n = recv(S(native), static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR)
        return {-1, LastSocketError()};
    return {n, {}};
}

IoResult TcpSocket::Send(const void* data, size_t size) {
    int n = send(S(native), static_cast<const char*>(data), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR)
        return {-1, LastSocketError()};
    return {n, {}};
}

}  // namespace tolvi::platform

// A connected pair, kept apart from the rest of the sockets' calls.
namespace tolvi::platform {

SysError ConnectedPair(TcpSocket* a, TcpSocket* b) {
    SysError error;
    TcpSocket listener = TcpSocket::CreateStream(&error);
    if (error.Failed())
        return error;
    Endpoint at = Endpoint::LoopbackV4(0);
    if ((error = listener.SetExclusivePort()).Failed() || (error = listener.Bind(at)).Failed() ||
        (error = listener.Listen(1)).Failed() || (error = listener.LocalEndpoint(&at)).Failed())
        return error;
    TcpSocket client = TcpSocket::CreateStream(&error);
    if (error.Failed())
        return error;
    sockaddr_storage sa;
    int length = ToSockaddr(at, &sa);
    if (connect(S(client.Native()), reinterpret_cast<sockaddr*>(&sa), length) != 0)
        return LastSocketError();
    Endpoint mine;
    if ((error = client.LocalEndpoint(&mine)).Failed())
        return error;
    // Another local program may connect to the listener in the moment it exists: only the
    // connection that comes from our own client is taken.
    for (int attempt = 0; attempt < 8; ++attempt) {
        TcpSocket server;
        if ((error = listener.Accept(&server)).Failed())
            return error;
        Endpoint peer;
        if (server.PeerAddress(&peer).Failed() || peer != mine)
            continue;
        // Small writes, typed keys, go at once instead of waiting for Nagle's timer.
        BOOL one = TRUE;
        for (TcpSocket* s : {&client, &server})
            setsockopt(S(s->Native()), IPPROTO_TCP, TCP_NODELAY,
                       reinterpret_cast<const char*>(&one), sizeof one);
        *a = std::move(client);
        *b = std::move(server);
        return {};
    }
    return Win32Error(WSAECONNREFUSED);
}

}  // namespace tolvi::platform
