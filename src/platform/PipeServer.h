// The server end of a named pipe, for a machine that connects to the pipe as its client
// (VirtualBox's "Connect to existing pipe/socket", VMware's "This end is the client", QEMU's
// -serial unix:PATH). On Windows tolvi makes "\\.\pipe\NAME" itself: one instance, bytes, a
// security descriptor that admits only the system, the administrators, Hyper-V's virtual
// machines and tolvi's own user, local clients only, and never a name another program has
// made. On POSIX the same name stands for the Unix-domain socket <dir>/<name> that
// PosixPipePath gives, made with mode 0600. Used without blocking, like PipeClient: once a
// client has connected, bytes move the same way through either.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SysError.h"

namespace tolvi::platform {

class WaitSet;

class PipeServer {
  public:
    PipeServer();
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Makes the pipe, ready for a client to connect. Fails with why in *why, a line for the
    // user: a pipe of that name that another program made, a socket file that is another's
    // or that someone listens on, a name that is not this machine's.
    SysError Make(const std::string& pipeName, std::string* why);
    bool IsMade() const;
    // Takes the client that has connected: WouldBlock while none has. Then IsOpen.
    SysError Accept();
    // Made, and a wait (WaitSet, readable) ends when a client connects.
    bool AwaitsClient() const;
    // A client is connected.
    bool IsOpen() const;
    // Ends the client's connection; the pipe stays, ready for the next client at once.
    void Disconnect();
    // Removes the pipe.
    void Unmake();

    // As PipeClient's, on the connected client's bytes.
    SysError Read(void* buffer, uint32_t size, uint32_t* got);
    SysError Write(const void* data, uint32_t size, uint32_t* taken);
    bool WritePending() const;

  private:
    friend class WaitSet;
#ifdef _WIN32
    // The events a wait takes: the connection while none is there, then its read and write.
    void* ConnectEvent() const;  // nullptr while no connect is pending
    bool ConnectedUntaken() const;  // a client came before the wait began
    void StartRead();
    bool ReadPending() const;
    void* ReadEvent() const;
    void* WriteEvent() const;
#else
    // The client's socket while one is connected, the listener otherwise.
    int WaitDescriptor() const;
#endif
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace tolvi::platform
