// The server end of a named pipe, for tests, benchmarks and the demo: it serves one client
// at a time, like the console that a virtual machine offers on a pipe. On POSIX the pipe is
// the Unix-domain socket that the relay's pipe client maps the same name to.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#endif

namespace tolvi::tools {

class PipeServer {
  public:
    // bufferSize: the pipe's buffers each way (the socket buffers on POSIX); small ones make
    // a writer wait sooner.
    explicit PipeServer(std::string pipeName, size_t bufferSize = 65536);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

#ifdef _WIN32
    // The pipe carries messages instead of a stream of bytes, as some virtual machines'
    // consoles do: each Write is one message. Takes effect at the next Listen.
    void UseMessages() {
        messages = true;
    }
#endif
    // Creates the pipe, so that clients can open it; error says why not.
    bool Listen(std::string* error);
    // Waits up to timeoutMs for a client to open the pipe; true once one has.
    bool WaitClient(int timeoutMs);
    bool HasClient() const;
    // Reads what the client sent, waiting up to timeoutMs for something: the count, 0 when
    // nothing came, -1 when the client has gone.
    long Read(void* buffer, size_t size, int timeoutMs);
    // Writes all of data, blocking while the client does not read; false when it has gone.
    bool Write(const void* data, size_t size);
#ifndef _WIN32
    // Reads nothing more from the current client, which then fails to write (a socket can
    // shut one way; a Windows pipe cannot).
    void StopReading();
#endif
    // Ends the current client's session; the pipe stays for the next client.
    void DropClient();
    // Removes the pipe: opening it fails until the next Listen.
    void Close();

  private:
    std::string name;
    size_t buffers;
#ifdef _WIN32
    struct Io;
    platform::UniqueFile pipe;
    std::unique_ptr<Io> io;  // the connect and read in progress
    bool connectPending = false;
    bool connected = false;
    bool messages = false;
#else
    std::string path;
    int listener = -1;
    int client = -1;
#endif
};

}  // namespace tolvi::tools
