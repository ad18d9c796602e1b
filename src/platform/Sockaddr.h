// Endpoints as the socket calls take them, the same on Winsock and BSD sockets; for the
// socket implementations only.
#pragma once
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/Endpoint.h"

namespace tolvi::platform {

#ifdef _WIN32
using SockaddrLength = int;
#else
using SockaddrLength = socklen_t;
#endif

inline SockaddrLength ToSockaddr(const Endpoint& e, sockaddr_storage* out) {
    std::memset(out, 0, sizeof *out);
    if (e.family == Family::V4) {
        auto* in = reinterpret_cast<sockaddr_in*>(out);
        in->sin_family = AF_INET;
        in->sin_port = htons(e.port);
        std::memcpy(&in->sin_addr, e.address, 4);
        return sizeof *in;
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(e.port);
    std::memcpy(&in6->sin6_addr, e.address, 16);
    in6->sin6_scope_id = e.scope;
    return sizeof *in6;
}

inline bool FromSockaddr(const sockaddr_storage& sa, Endpoint* out) {
    Endpoint e;
    if (sa.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(sa);
        e.family = Family::V4;
        std::memcpy(e.address, &in.sin_addr, 4);
        e.port = ntohs(in.sin_port);
    } else if (sa.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(sa);
        e.family = Family::V6;
        std::memcpy(e.address, &in6.sin6_addr, 16);
        e.scope = in6.sin6_scope_id;
        e.port = ntohs(in6.sin6_port);
    } else {
        return false;
    }
    *out = e;
    return true;
}

}  // namespace tolvi::platform
