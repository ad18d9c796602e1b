// The one error vocabulary of the engine: each seam reads the native code (GetLastError,
// WSAGetLastError, errno) and sorts it into the few kinds the engine decides on.
#pragma once

namespace tolvi::platform {

enum class ErrorKind {
    None,
    WouldBlock,        // nothing to do yet (WSAEWOULDBLOCK, EAGAIN)
    AddressInUse,      // WSAEADDRINUSE, EADDRINUSE
    AccessDenied,      // WSAEACCES, EACCES
    BrokenPipe,        // the pipe's server has closed its end
    PipeNotConnected,  // the pipe's server has disconnected this instance
    Cancelled,         // given up because a stop was requested
    ConnectionReset,   // a TCP peer reset or abandoned its connection before we looked at it
    OutOfResources,    // no descriptor, buffer or memory to spare for now (EMFILE, WSAENOBUFS)
    NotUsable,         // the handle or socket is not, or no longer, one the call can use
    Other,
};

struct SysError {
    int code = 0;  // the native number, kept for the messages
    ErrorKind kind = ErrorKind::None;

    bool Failed() const { return kind != ErrorKind::None; }
    bool Is(ErrorKind k) const { return kind == k; }
    // The other end has gone: a reset or aborted connection, a closed or disconnected pipe.
    bool PeerGone() const {
        return kind == ErrorKind::ConnectionReset || kind == ErrorKind::BrokenPipe ||
               kind == ErrorKind::PipeNotConnected;
    }
};

// Result of a socket receive or send: count is -1 when the call failed.
struct IoResult {
    long count = 0;
    SysError error;
};

}  // namespace tolvi::platform
