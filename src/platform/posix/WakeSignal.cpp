// The wake signal on POSIX: a non-blocking pipe that holds one byte while the signal is set.
#include "platform/WakeSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tolvi::platform {

WakeSignal::WakeSignal() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        readFd_ = fds[0];
        writeFd_ = fds[1];
    }
}

WakeSignal::~WakeSignal() {
    if (readFd_ >= 0)
        close(readFd_);
    if (writeFd_ >= 0)
        close(writeFd_);
}

void WakeSignal::Set() {
    std::lock_guard<std::mutex> hold(lock_);
    if (set_.exchange(true))
        return;
    const char one = 1;
    while (write(writeFd_, &one, 1) < 0 && errno == EINTR) {
    }
}

void WakeSignal::SetFromSignalHandler() {
    if (set_.exchange(true))
        return;
    const char one = 1;
    while (write(writeFd_, &one, 1) < 0 && errno == EINTR) {
    }
}

void WakeSignal::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    set_ = false;
    char drain[16];
    while (read(readFd_, drain, sizeof drain) > 0) {
    }
}

}  // namespace tolvi::platform
