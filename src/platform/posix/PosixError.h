// Sorting errno values into the engine's error kinds.
#pragma once
#include <cerrno>

#include "platform/SysError.h"

namespace tolvi::platform {

inline SysError ErrnoError(int code) {
    ErrorKind kind = ErrorKind::Other;
    switch (code) {
        case 0:
            kind = ErrorKind::None;
            break;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINPROGRESS:
            kind = ErrorKind::WouldBlock;
            break;
        case EADDRINUSE:
            kind = ErrorKind::AddressInUse;
            break;
        case EACCES:
            kind = ErrorKind::AccessDenied;
            break;
        case EPIPE:
        case ECONNRESET:
        case ENOTCONN:
        case ECONNABORTED:
            kind = ErrorKind::PeerGone;
            break;
        case EAFNOSUPPORT:
        case EADDRNOTAVAIL:
        case EPROTONOSUPPORT:
            kind = ErrorKind::NotOnThisMachine;
            break;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            kind = ErrorKind::OutOfResources;
            break;
        case EBADF:
        case ENOTSOCK:
        case EINVAL:
        case EOPNOTSUPP:
            kind = ErrorKind::NotUsable;
            break;
        default:
            break;
    }
    return {code, kind};
}

inline SysError LastErrno() {
    return ErrnoError(errno);
}

}  // namespace tolvi::platform
