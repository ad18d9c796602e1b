// The wake signal on POSIX: a non-blocking pipe that holds one byte while the signal is set.
#include "platform/WakeSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tolvi::platform {

WakeSignal::WakeSignal() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        readFd = fds[0];
        writeFd = fds[1];
    }
}

WakeSignal::~WakeSignal() {
    if (readFd >= 0)
        close(readFd);
    if (writeFd >= 0)
        close(writeFd);
}

void WakeSignal::Set() {
    std::lock_guard<std::mutex> hold(lock);
    if (set.exchange(true))
        return;
    const char one = 1;
    while (write(writeFd, &one, 1) < 0 && errno == EINTR) {
    }
}

void WakeSignal::SetFromSignalHandler() {
    if (set.exchange(true))
        return;
    const char one = 1;
    while (write(writeFd, &one, 1) < 0 && errno == EINTR) {
    }
}

void WakeSignal::Reset() {
    std::lock_guard<std::mutex> hold(lock);
    set = false;
    char drain[16];
    while (read(readFd, drain, sizeof drain) > 0) {
    }
}

}  // namespace tolvi::platform
