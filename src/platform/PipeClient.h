// The client end of a named pipe. On Windows a real named pipe "\\server\pipe\name"; on POSIX
// the same name stands for the Unix-domain stream socket <dir>/<name>, <dir> being
// $TOLVI_PIPE_DIR or /tmp.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/SysError.h"

namespace tolvi::platform {

class PipeClient {
  public:
    PipeClient() = default;
    ~PipeClient() { Close(); }
    PipeClient(PipeClient&& other) noexcept;
    PipeClient& operator=(PipeClient&& other) noexcept;
    PipeClient(const PipeClient&) = delete;
    PipeClient& operator=(const PipeClient&) = delete;

    // Opens an existing pipe for reading and writing; any failure leaves it closed.
    SysError Open(const std::string& pipeName);
    bool IsOpen() const;
    void Close();
    intptr_t Native() const;

    // Counts the bytes waiting without reading them. A server that has gone away reports
    // BrokenPipe or PipeNotConnected.
    SysError Peek(uint32_t* available);
    // Reads at most size bytes of those that Peek reported.
    SysError Read(void* buffer, uint32_t size, uint32_t* got);
    // Writes all size bytes. Blocks while the server does not read, but checks stop at
    // least every 500 ms and then gives up with Cancelled.
    SysError Write(const void* data, uint32_t size, const std::atomic<bool>& stop);

  private:
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
    void* ioEvent_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// The socket path a pipe name maps to on POSIX; "" when the name has no "\pipe\" part or the
// path would not fit a socket address.
std::string PosixPipePath(const std::string& pipeName);

}  // namespace tolvi::platform
