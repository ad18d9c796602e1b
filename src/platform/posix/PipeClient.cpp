// The pipe client on POSIX: a Unix-domain stream socket named after the pipe.
#include "platform/PipeClient.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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

PipeClient::PipeClient(PipeClient&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

SysError PipeClient::Open(const std::string& pipeName) {
    Close();
    std::string path = PosixPipePath(pipeName);
    if (path.empty())
        return ErrnoError(ENOENT);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return LastErrno();
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        SysError error = LastErrno();
        close(fd);
        return error;
    }
    fd_ = fd;
    return {};
}

bool PipeClient::IsOpen() const {
    return fd_ >= 0;
}

intptr_t PipeClient::Native() const {
    return fd_;
}

void PipeClient::Close() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

SysError PipeClient::Peek(uint32_t* available) {
    *available = 0;
    if (fd_ < 0)
        return ErrnoError(EBADF);
    // One call while the pipe is idle, which is most of the time: a peek at one byte tells
    // nothing waiting, data waiting and a closed server apart.
    char probe;
    ssize_t n = recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        return {EPIPE, ErrorKind::BrokenPipe};
    if (n < 0) {
        SysError error = LastErrno();
        if (error.Is(ErrorKind::WouldBlock) || error.code == EINTR)
            return {};
        if (error.code == ECONNRESET)
            return {EPIPE, ErrorKind::BrokenPipe};
        return error;
    }
    int count = 0;
    if (ioctl(fd_, FIONREAD, &count) != 0)
        return LastErrno();
    *available = count > 0 ? static_cast<uint32_t>(count) : 1;
    return {};
}

SysError PipeClient::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    ssize_t n;
    do {
        n = recv(fd_, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return LastErrno();
    if (n == 0 && size > 0)
        return {EPIPE, ErrorKind::BrokenPipe};
    *got = static_cast<uint32_t>(n);
    return {};
}

SysError PipeClient::Write(const void* data, uint32_t size, const std::atomic<bool>& stop) {
    const char* rest = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd_, rest, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            rest += n;
            size -= static_cast<uint32_t>(n);
            continue;
        }
        SysError error = LastErrno();
        if (n < 0 && error.code == EINTR)
            continue;
        if (!error.Is(ErrorKind::WouldBlock))
            return error;
        // The server is not reading: wait for room, looking at the stop request in between.
        if (stop.load())
            return {0, ErrorKind::Cancelled};
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, 500) < 0 && errno != EINTR)
            return LastErrno();
    }
    return {};
}

}  // namespace tolvi::platform
