// The one error vocabulary of the engine: each seam reads the native code (GetLastError,
// WSAGetLastError, errno) and sorts it into the few kinds the engine decides on; the same
// condition is the same kind on every platform.
#pragma once

namespace tolvi::platform {

enum class ErrorKind {
    None,
    WouldBlock,        // nothing to do yet (WSAEWOULDBLOCK, EAGAIN)
    AddressInUse,      // WSAEADDRINUSE, EADDRINUSE
    AccessDenied,      // WSAEACCES, EACCES
    PeerGone,          // the other end has gone: a TCP connection reset or aborted, a pipe
                       // whose server closed or disconnected it
    OutOfResources,    // no descriptor, buffer or memory to spare for now (EMFILE, WSAENOBUFS)
    NotOnThisMachine,  // no such address or address family here (no IPv6, EADDRNOTAVAIL)
    NotUsable,         // the handle or socket is not, or no longer, one the call can use
    Other,
};

struct SysError {
    int code = 0;  // the native number, kept for the messages
    ErrorKind kind = ErrorKind::None;

    bool Failed() const { return kind != ErrorKind::None; }
    bool Is(ErrorKind k) const { return kind == k; }
    bool PeerGone() const { return kind == ErrorKind::PeerGone; }
};

// Result of a socket receive or send: count is -1 when the call failed.
struct IoResult {
    long count = 0;
    SysError error;
};

}  // namespace tolvi::platform
