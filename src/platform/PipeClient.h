// The client end of a named pipe, used without blocking. On Windows a real named pipe
// "\\server\pipe\name" with one overlapped read always pending; on POSIX the same name
// stands for the Unix-domain stream socket <dir>/<name>, <dir> being $TOLVI_PIPE_DIR or /tmp.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SysError.h"

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#endif

namespace tolvi::platform {

class WaitSet;

class PipeClient {
  public:
    // The most one Read gives and one Write takes.
    static constexpr uint32_t kChunk = 256 * 1024;

    PipeClient();
    ~PipeClient();
    PipeClient(PipeClient&& other) noexcept;
    PipeClient& operator=(PipeClient&& other) noexcept;
    PipeClient(const PipeClient&) = delete;
    PipeClient& operator=(const PipeClient&) = delete;

    // Opens an existing pipe for reading and writing; any failure leaves it closed. The pipe
    // is opened for identification only (its server cannot act as this program's user), and
    // unless anyServer, a server that is not trusted (PipeServerTrust.h) is refused before its
    // first byte: the failure is AccessDenied and Refusal() names the server.
    SysError Open(const std::string& pipeName, bool anyServer = false);
    // Why the last Open refused the pipe's server: "\\.\pipe\com1 is served by HOST\eve,
    // who is not trusted"; "" when it did not.
    const std::string& Refusal() const { return refusal; }
    bool IsOpen() const;
    // Gives up whatever is still on its way in either direction.
    void Close();
    intptr_t Native() const;

    // Takes at most size bytes of what the pipe has delivered. WouldBlock while nothing has
    // arrived; PeerGone once the server has gone.
    SysError Read(void* buffer, uint32_t size, uint32_t* got);
    // Hands at most size bytes to the pipe without waiting; *taken says how many it took.
    // WouldBlock, with nothing taken, while the pipe has no room or bytes handed over earlier
    // are still on their way; a failure of those earlier bytes is reported here. With size 0
    // it only reports on the earlier bytes.
    SysError Write(const void* data, uint32_t size, uint32_t* taken);
    // True while bytes handed to Write are still on their way to the server.
    bool WritePending() const;

  private:
    friend class WaitSet;
    std::string refusal;
#ifdef _WIN32
    bool ReadPending() const;
    void* ReadEvent() const;
    void* WriteEvent() const;
    UniqueFile handle;
    // Heap-held, so that a buffer the system may still write into can outlive the object.
    std::unique_ptr<class OverlappedIo> overlapped;
#else
    int descriptor = -1;
#endif
};

// The socket path a pipe name maps to on POSIX; "" when the name has no "\pipe\" part or the
// path would not fit a socket address.
std::string PosixPipePath(const std::string& pipeName);

}  // namespace tolvi::platform
