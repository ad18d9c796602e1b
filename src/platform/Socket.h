// TCP over IPv4 and IPv6: the socket calls the relay needs, on Winsock or BSD sockets, and
// nothing more.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Endpoint.h"
#include "platform/SysError.h"

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#endif

namespace tolvi::platform {

// The option SetExclusivePort sets, as its failure message names it.
extern const char kExclusivePortOption[];

// Starts the socket library where one must be started (Winsock 2.2); elsewhere it only makes
// a write to a closed peer an error instead of a signal.
SysError StartSocketLibrary();

class WaitSet;

// A move-only owner of one socket; closes it on destruction.
class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket() { Close(); }
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A stream socket of the family; IPv4 unless said otherwise. A machine without IPv6
    // fails to make an IPv6 one.
    static TcpSocket CreateStream(SysError* error, Family family = Family::V4);

    bool IsValid() const { return native != kInvalid; }
    intptr_t Native() const { return native; }
    void Close();
    // Closes after a last word: what was sent goes out with the end of the stream, and what
    // the peer sent meanwhile (a Telnet client's first requests) is read and dropped, so that
    // the close is not taken for an abort that would throw the last word away unread.
    void CloseAfterSending();
    // Hands the socket to another owner (the web console's Asio), which closes it.
    intptr_t Detach() { return Release(); }

    // The port is this socket's alone: no other socket, of this program or another, may bind
    // it while this one holds it (SO_EXCLUSIVEADDRUSE on Winsock, whose SO_REUSEADDR would let
    // anyone share it). On POSIX, where that is the rule already, SO_REUSEADDR, so that a port
    // whose earlier connections still linger can be bound again.
    SysError SetExclusivePort();
    // An IPv6 socket that takes IPv4 connections too (IPV6_V6ONLY off), as their mapped
    // addresses; fails where the system will not.
    SysError SetDualStack();
    SysError Bind(const Endpoint& at);
    SysError Listen(int backlog);
    SysError SetNonBlocking();
    // Urgent data arrives in the stream like any other byte, so that nothing is left that
    // only an urgent read would take (it would keep every wait for the socket ready).
    SysError SetOobInline();
    // Takes one waiting connection, as a socket of its own that reports nothing to this
    // socket's waits.
    SysError Accept(TcpSocket* client);
    // Where the connection comes from; an IPv4 client of a dual-stack socket in IPv4 form.
    SysError PeerAddress(Endpoint* peer);
    SysError LocalEndpoint(Endpoint* local);

    IoResult Receive(void* buffer, size_t size);
    IoResult Send(const void* data, size_t size);

  private:
    friend class WaitSet;
    friend SysError ConnectedPair(TcpSocket* a, TcpSocket* b);
    static constexpr intptr_t kInvalid = -1;
    explicit TcpSocket(intptr_t handle) : native(handle) {}
    intptr_t Release() {
        intptr_t h = native;
        native = kInvalid;
        return h;
    }
    intptr_t native = kInvalid;
#ifdef _WIN32
    // The event that WaitSet waits on for this socket, made on first use.
    void* WaitEvent();
    UniqueHandle waitEvent;
    bool listening = false;  // since Listen succeeded
    // A listener's news and what came of it: news named by the last wait that no accept could
    // take leaves the listener watched by the clock until an accept succeeds (see WaitSet).
    bool newsAnnounced = false;
    bool newsWithoutConnection = false;
#endif
};

}  // namespace tolvi::platform

namespace tolvi::platform {

// Two connected stream sockets, each the other's peer: what one sends the other receives.
// Blocking, like a new socket. POSIX: a Unix-domain socket pair; Windows: a loopback TCP
// connection made through a listener on 127.0.0.1 that lives only for the call.
SysError ConnectedPair(TcpSocket* a, TcpSocket* b);

}  // namespace tolvi::platform
