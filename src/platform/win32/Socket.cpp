// TCP sockets on Winsock 2.
#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

SOCKET S(intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

SysError Check(int result) {
    return result == 0 ? SysError{} : LastSocketError();
}

bool FillAddress(const std::string& address, uint16_t port, sockaddr_in* out) {
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    if (address.empty()) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    out->sin_addr.s_addr = inet_addr(address.c_str());
    return out->sin_addr.s_addr != INADDR_NONE;
}

}  // namespace

const char kExclusivePortOption[] = "SO_EXCLUSIVEADDRUSE";

SysError StartSocketLibrary() {
    WSADATA data;
    int code = WSAStartup(MAKEWORD(2, 2), &data);
    return code == 0 ? SysError{} : Win32Error(static_cast<DWORD>(code));
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : handle_(other.Release()), event_(std::move(other.event_)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.Release();
        event_ = std::move(other.event_);
    }
    return *this;
}

void* TcpSocket::WaitEvent() {
    if (!event_ && IsValid()) {
        // Auto-reset: the wait that it ends clears it, and each network event sets it only
        // once until the call that takes it (recv, send, accept) is made again.
        UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!event || WSAEventSelect(S(handle_), event.get(),
                                     FD_ACCEPT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            return nullptr;
        }
        event_ = std::move(event);
    }
    return event_.get();
}

TcpSocket TcpSocket::CreateStream(SysError* error) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    *error = s == INVALID_SOCKET ? LastSocketError() : SysError{};
    return TcpSocket(s == INVALID_SOCKET ? kInvalid : static_cast<intptr_t>(s));
}

void TcpSocket::Close() {
    if (IsValid())
        closesocket(S(Release()));
    event_.reset();
}

SysError TcpSocket::SetExclusivePort() {
    BOOL one = TRUE;
    return Check(setsockopt(S(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                            reinterpret_cast<const char*>(&one), sizeof one));
}

SysError TcpSocket::Bind(const std::string& address, uint16_t port) {
    sockaddr_in sa;
    if (!FillAddress(address, port, &sa))
        return Win32Error(WSAEINVAL);
    return Check(bind(S(handle_), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

SysError TcpSocket::Listen(int backlog) {
    return Check(listen(S(handle_), backlog));
}

SysError TcpSocket::SetNonBlocking() {
    u_long one = 1;
    return Check(ioctlsocket(S(handle_), FIONBIO, &one));
}

SysError TcpSocket::SetOobInline() {
    BOOL one = TRUE;
    return Check(setsockopt(S(handle_), SOL_SOCKET, SO_OOBINLINE,
                            reinterpret_cast<const char*>(&one), sizeof one));
}

SysError TcpSocket::Accept(TcpSocket* client) {
    SOCKET s = accept(S(handle_), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return LastSocketError();
    // An accepted socket inherits the listener's event selection; it gets its own when
    // someone waits on it.
    if (event_)
        WSAEventSelect(s, nullptr, 0);
    *client = TcpSocket(static_cast<intptr_t>(s));
    return {};
}

SysError TcpSocket::PeerAddress(std::string* dotted) {
    sockaddr_in sa;
    int len = sizeof sa;
    if (getpeername(S(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return LastSocketError();
    }
    const char* text = inet_ntoa(sa.sin_addr);
    *dotted = text ? text : "";
    return {};
}

SysError TcpSocket::LocalPort(uint16_t* port) {
    sockaddr_in sa;
    int len = sizeof sa;
    if (getsockname(S(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return LastSocketError();
    }
    *port = ntohs(sa.sin_port);
    return {};
}

IoResult TcpSocket::Receive(void* buffer, size_t size) {
    int n = recv(S(handle_), static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR)
        return {-1, LastSocketError()};
    return {n, {}};
}

IoResult TcpSocket::Send(const void* data, size_t size) {
    int n = send(S(handle_), static_cast<const char*>(data), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR)
        return {-1, LastSocketError()};
    return {n, {}};
}

}  // namespace tolvi::platform
