// The pipe client on POSIX: a Unix-domain stream socket named after the pipe.
#include "platform/PipeClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/PipeServerTrust.h"
#include "platform/posix/PosixError.h"

namespace tolvi::platform {

std::string PosixPipePath(const std::string& pipeName) {
    static const char kMarker[] = "\\pipe\\";
    size_t at = pipeName.find(kMarker);
    if (at == std::string::npos)
        return "";
    std::string name = pipeName.substr(at + sizeof kMarker - 1);
    if (name.empty())
        return "";
    const char* dir = std::getenv("TOLVI_PIPE_DIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    path += '/';
    path += name;
    if (path.size() >= sizeof(sockaddr_un{}.sun_path))
        return "";
    return path;
}

PipeClient::PipeClient() = default;

PipeClient::~PipeClient() {
    Close();
}

PipeClient::PipeClient(PipeClient&& other) noexcept : descriptor(other.descriptor) {
    other.descriptor = -1;
}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
    if (this != &other) {
        Close();
        descriptor = other.descriptor;
        other.descriptor = -1;
    }
    return *this;
}

SysError PipeClient::Open(const std::string& pipeName, bool anyServer) {
    Close();
    refusal.clear();
    std::string path = PosixPipePath(pipeName);
    if (path.empty())
        return ErrnoError(ENOENT);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return LastErrno();
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    // A Unix-domain connect does not wait for the server to accept: it succeeds at once or
    // fails (EAGAIN when the server's backlog is full, like a busy pipe).
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        SysError error = LastErrno();
        close(fd);
        return error;
    }
    if (!anyServer) {
        PipeServerCheck check = CheckPipeServer(fd);
        if (!check.trusted) {
            refusal = UntrustedServerText(pipeName, check) +
                      " (--any-pipe-server trusts any server)";
            close(fd);
            return ErrnoError(EACCES);
        }
    }
    descriptor = fd;
    return {};
}

bool PipeClient::IsOpen() const {
    return descriptor >= 0;
}

intptr_t PipeClient::Native() const {
    return descriptor;
}

void PipeClient::Close() {
    if (descriptor >= 0)
        close(descriptor);
    descriptor = -1;
}

SysError PipeClient::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (descriptor < 0)
        return ErrnoError(EBADF);
    ssize_t n;
    do {
        n = recv(descriptor, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return LastErrno();  // WouldBlock, or ECONNRESET when the server went
    if (n == 0 && size > 0)
        return ErrnoError(EPIPE);  // the server has closed its end
    *got = static_cast<uint32_t>(n);
    return {};
}

SysError PipeClient::Write(const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    if (descriptor < 0)
        return ErrnoError(EBADF);
    if (size == 0)
        return {};
    ssize_t n;
    do {
        n = send(descriptor, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return LastErrno();
    *taken = static_cast<uint32_t>(n);
    return {};
}

bool PipeClient::WritePending() const {
    return false;  // a send either takes bytes or says there is no room
}

}  // namespace tolvi::platform
