// The pipe's server end on POSIX: a Unix-domain stream socket listening at the pipe's path.
// A socket file left there by an earlier run of our own user, with nobody listening, is
// replaced; anything else there is left alone and the pipe is not made. The socket is 0600,
// and a client is taken only from our own user or root, which also covers the moment
// between bind and chmod when the file has the default mode.
#include "platform/PipeServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/PipeClient.h"
#include "platform/posix/PosixError.h"

namespace tolvi::platform {

struct PipeServer::State {
    std::string path;
    int listener = -1;
    int client = -1;
    dev_t device = 0;  // the socket file made, so that only it is removed
    ino_t inode = 0;
};

namespace {

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    return sa;
}

// Whether something listens at path: a connect that is taken, or waits in a full backlog.
bool SomeoneListens(const std::string& path) {
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0)
        return true;  // cannot tell: taken as live, and left alone
    sockaddr_un sa = AddressOf(path);
    bool live = connect(probe, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ||
                errno == EAGAIN || errno == EINPROGRESS;
    close(probe);
    return live;
}

bool FromUsOrRoot(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == 0 || peer.uid == geteuid();
}

std::string Reason(int code) {
    return std::strerror(code);
}

}  // namespace

PipeServer::PipeServer() : state(std::make_unique<State>()) {}

PipeServer::~PipeServer() {
    Unmake();
}

SysError PipeServer::Make(const std::string& pipeName, std::string* why) {
    Unmake();
    std::string path = PosixPipePath(pipeName);
    if (path.empty()) {
        *why = "The pipe " + pipeName + " has no socket path here: the name must end in "
               "\\pipe\\NAME, and the path must be short enough for a socket";
        return ErrnoError(EINVAL);
    }
    struct stat there {};
    if (lstat(path.c_str(), &there) == 0) {
        if (!S_ISSOCK(there.st_mode)) {
            *why = path + " exists and is no socket: another program's file is left as it is";
            return ErrnoError(EEXIST);
        }
        if (there.st_uid != geteuid()) {
            *why = path + " is another user's socket: it is left as it is";
            return ErrnoError(EEXIST);
        }
        if (SomeoneListens(path)) {
            *why = path + " is in use: another program listens on it";
            return ErrnoError(EADDRINUSE);
        }
        unlink(path.c_str());  // ours, left by a run that ended without removing it
    } else if (errno != ENOENT) {
        int code = errno;
        *why = "Could not look at " + path + " (" + Reason(code) + ")";
        return ErrnoError(code);
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        int code = errno;
        *why = "Could not make the pipe's socket " + path + " (" + Reason(code) + ")";
        return ErrnoError(code);
    }
    sockaddr_un sa = AddressOf(path);
    struct stat made {};
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (!bound || chmod(path.c_str(), 0600) != 0 || lstat(path.c_str(), &made) != 0 ||
        listen(fd, 1) != 0) {
        int code = errno;
        *why = "Could not make the pipe's socket " + path + " (" + Reason(code) + ")";
        if (bound)
            unlink(path.c_str());  // ours; one that was there before bind is not
        close(fd);
        return ErrnoError(code);
    }
    state->path = path;
    state->listener = fd;
    state->device = made.st_dev;
    state->inode = made.st_ino;
    return {};
}

bool PipeServer::IsMade() const {
    return state->listener >= 0;
}

SysError PipeServer::Accept() {
    if (state->client >= 0)
        return {};
    if (state->listener < 0)
        return ErrnoError(EBADF);
    for (;;) {
        int fd = accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ECONNABORTED)
                return ErrnoError(EAGAIN);  // gone before it was taken: the next one
            return LastErrno();
        }
        if (FromUsOrRoot(fd)) {
            state->client = fd;
            return {};
        }
        close(fd);  // another user's program: not our machine's console
    }
}

bool PipeServer::AwaitsClient() const {
    return state->listener >= 0;
}

bool PipeServer::IsOpen() const {
    return state->client >= 0;
}

void PipeServer::Disconnect() {
    if (state->client >= 0)
        close(state->client);
    state->client = -1;
}

void PipeServer::Unmake() {
    Disconnect();
    if (state->listener < 0)
        return;
    close(state->listener);
    state->listener = -1;
    struct stat there {};
    // Only the file we made: one put in its place meanwhile is someone else's.
    if (lstat(state->path.c_str(), &there) == 0 && there.st_dev == state->device &&
        there.st_ino == state->inode)
        unlink(state->path.c_str());
}

SysError PipeServer::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (state->client < 0)
        return ErrnoError(EBADF);
    ssize_t n;
    do {
        n = recv(state->client, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return LastErrno();
    if (n == 0 && size > 0)
        return ErrnoError(EPIPE);  // the machine has gone
    *got = static_cast<uint32_t>(n);
    return {};
}

SysError PipeServer::Write(const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    if (state->client < 0)
        return ErrnoError(EBADF);
    if (size == 0)
        return {};
    ssize_t n;
    do {
        n = send(state->client, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return LastErrno();
    *taken = static_cast<uint32_t>(n);
    return {};
}

bool PipeServer::WritePending() const {
    return false;  // a send either takes bytes or says there is no room
}

int PipeServer::WaitDescriptor() const {
    return state->client >= 0 ? state->client : state->listener;
}

}  // namespace tolvi::platform
