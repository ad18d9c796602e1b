// The relay's wait on POSIX: one poll over the client socket and the pipe's socket.
#include "platform/RelayWait.h"

#include <poll.h>

#include <cerrno>

namespace tolvi::platform {

bool CanWaitForPipe() {
    return true;
}

int WaitForClientOrPipe(TcpSocket& client, PipeClient& pipe, long micros) {
    // Urgent data is not waited for: nothing reads it, so it would end every wait at once.
    pollfd fds[2] = {{static_cast<int>(client.Native()), POLLIN, 0},
                     {static_cast<int>(pipe.Native()), POLLIN, 0}};
    nfds_t count = pipe.IsOpen() ? 2 : 1;
    timespec timeout{micros / 1000000, (micros % 1000000) * 1000};
    int n;
    do {
        n = ppoll(fds, count, &timeout, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
}

}  // namespace tolvi::platform
