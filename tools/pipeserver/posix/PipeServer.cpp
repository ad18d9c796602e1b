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
    : name(std::move(pipeName)), buffers(bufferSize) {}

PipeServer::~PipeServer() {
    Close();
}

bool PipeServer::Listen(std::string* error) {
    Close();
    path = platform::PosixPipePath(name);
    if (path.empty()) {
        *error = "not a pipe name of the form \\\\<server>\\pipe\\<name>: " + name;
        return false;
    }
    listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(listener, 4) != 0) {
        *error = path + ": " + std::strerror(errno);
        Close();
        return false;
    }
    return true;
}

bool PipeServer::WaitClient(int timeoutMs) {
    if (client >= 0)
        return true;
    if (listener < 0 || !PollFor(listener, POLLIN, timeoutMs))
        return false;
    client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) {
        int size = static_cast<int>(buffers);
        setsockopt(client, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(client, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    return client >= 0;
}

bool PipeServer::HasClient() const {
    return client >= 0;
}

long PipeServer::Read(void* buffer, size_t size, int timeoutMs) {
    if (client < 0)
        return -1;
    if (!PollFor(client, POLLIN, timeoutMs))
        return 0;
    ssize_t n;
    do {
        n = recv(client, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -1;
    return static_cast<long>(n);
}

bool PipeServer::Write(const void* data, size_t size) {
    const char* rest = static_cast<const char*>(data);
    while (size > 0 && client >= 0) {
        ssize_t n = send(client, rest, size, MSG_NOSIGNAL);
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
    if (client >= 0)
        shutdown(client, SHUT_RD);
}

void PipeServer::DropClient() {
    if (client >= 0)
        close(client);
    client = -1;
}

void PipeServer::Close() {
    // The pipe goes before the client does, so that a client reconnecting at once finds none.
    if (listener >= 0) {
        unlink(path.c_str());
        close(listener);
    }
    listener = -1;
    DropClient();
}

}  // namespace tolvi::tools
