// A duplicate descriptor for libssh, on POSIX.
#include "ssh/SocketHandOver.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ErrorText.h"

namespace tolvi::ssh {

bool DescriptorForLibssh(platform::TcpSocket& socket, intptr_t* descriptor, std::string* why) {
    int fd = fcntl(static_cast<int>(socket.Native()), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        *why = platform::GetSystemErrorText(errno);
        return false;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // (not a TCP socket: no harm)
    *descriptor = fd;
    return true;
}

void CloseDescriptor(intptr_t descriptor) {
    close(static_cast<int>(descriptor));
}

}  // namespace tolvi::ssh
