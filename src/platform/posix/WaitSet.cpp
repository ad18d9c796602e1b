// The wait on POSIX: one poll over every descriptor.
#include "platform/WaitSet.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/PosixError.h"

namespace tolvi::platform {

WaitSet::WaitSet() {
    polled.reserve(8);
}

WaitSet::~WaitSet() = default;

void WaitSet::Clear() {
    polled.clear();
}

void WaitSet::Add(WakeSignal& signal) {
    polled.push_back(pollfd{signal.readFd, POLLIN, 0});
}

void WaitSet::Add(TcpSocket& socket, bool readable, bool writable) {
    // A hang-up is reported whatever is asked for, so a socket nobody waits on stays out:
    // its hang-up would end every wait at once. Urgent data is never asked for; it is read
    // inline.
    short events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
    if (events && socket.IsValid())
        polled.push_back(pollfd{static_cast<int>(socket.Native()), events, 0});
}

void WaitSet::Add(PipeClient& pipe, bool readable, bool writable) {
    short events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
    if (events && pipe.IsOpen())
        polled.push_back(pollfd{static_cast<int>(pipe.Native()), events, 0});
}

void WaitSet::Add(PipeServer& pipe, bool readable, bool writable) {
    if (!pipe.IsOpen())
        writable = false;  // a listener has nothing to write to
    short events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
    if (events && pipe.WaitDescriptor() >= 0)
        polled.push_back(pollfd{pipe.WaitDescriptor(), events, 0});
}

SysError WaitSet::Wait(int timeoutMs) {
    timespec timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    int n = ppoll(polled.data(), polled.size(), timeoutMs < 0 ? nullptr : &timeout, nullptr);
    if (n < 0) {
        for (pollfd& p : polled)
            p.revents = 0;
        if (errno != EINTR)
            return LastErrno();
    }
    return {};
}

namespace {

bool Readable(const std::vector<pollfd>& fds, intptr_t fd) {
    for (const pollfd& p : fds) {
        if (p.fd == fd)
            return (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    return false;
}

}  // namespace

bool WaitSet::MayRead(const TcpSocket& socket) const {
    return Readable(polled, socket.Native());
}

bool WaitSet::MayRead(const PipeClient& pipe) const {
    return Readable(polled, pipe.Native());
}

bool WaitSet::MayRead(const PipeServer& pipe) const {
    return pipe.WaitDescriptor() >= 0 && Readable(polled, pipe.WaitDescriptor());
}

}  // namespace tolvi::platform
