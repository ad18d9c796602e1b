// The test pipe server on a Unix-domain socket.
#include "pipeserver/PipeServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PipeClient.h"

namespace tolvi::tools {
namespace {

bool PollFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int n;
    do {
        n = poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

}  // namespace

PipeServer::PipeServer(std::string pipeName, size_t bufferSize)
    : pipeName_(std::move(pipeName)), bufferSize_(bufferSize) {}

PipeServer::~PipeServer() {
    Close();
}

bool PipeServer::Listen(std::string* error) {
    Close();
    path_ = platform::PosixPipePath(pipeName_);
    if (path_.empty()) {
        *error = "not a pipe name of the form \\\\<server>\\pipe\\<name>: " + pipeName_;
        return false;
    }
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path_.c_str(), path_.size() + 1);
    unlink(path_.c_str());
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(listener_, 4) != 0) {
        *error = path_ + ": " + std::strerror(errno);
        Close();
        return false;
    }
    return true;
}

bool PipeServer::WaitClient(int timeoutMs) {
    if (client_ >= 0)
        return true;
    if (listener_ < 0 || !PollFor(listener_, POLLIN, timeoutMs))
        return false;
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client_ >= 0) {
        int size = static_cast<int>(bufferSize_);
        setsockopt(client_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(client_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    return client_ >= 0;
}

bool PipeServer::HasClient() const {
    return client_ >= 0;
}

long PipeServer::Read(void* buffer, size_t size, int timeoutMs) {
    if (client_ < 0)
        return -1;
    if (!PollFor(client_, POLLIN, timeoutMs))
        return 0;
    ssize_t n;
    do {
        n = recv(client_, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -1;
    return static_cast<long>(n);
}

bool PipeServer::Write(const void* data, size_t size) {
    const char* rest = static_cast<const char*>(data);
    while (size > 0 && client_ >= 0) {
        ssize_t n = send(client_, rest, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        rest += n;
        size -= static_cast<size_t>(n);
    }
    return size == 0;
}

void PipeServer::StopReading() {
    if (client_ >= 0)
        shutdown(client_, SHUT_RD);
}

void PipeServer::DropClient() {
    if (client_ >= 0)
        close(client_);
    client_ = -1;
}

void PipeServer::Close() {
    // The pipe goes before the client does, so that a client reconnecting at once finds none.
    if (listener_ >= 0) {
        unlink(path_.c_str());
        close(listener_);
    }
    listener_ = -1;
    DropClient();
}

}  // namespace tolvi::tools
