// Who serves a Unix socket: its listener's credentials, as the kernel recorded them when it
// listened (SO_PEERCRED), which the server cannot forge. $TOLVI_PIPE_DIR defaults to /tmp,
// where anyone may make a socket of a console's name.
#include "platform/PipeServerTrust.h"

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace tolvi::platform {

PipeServerCheck CheckPipeServer(intptr_t native) {
    PipeServerCheck check;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(static_cast<int>(native), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        check.trusted = false;
        check.account = "a server that cannot be identified";
        return check;
    }
    check.trusted = IsTrustedServerUid(credentials.uid, geteuid());
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(credentials.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        check.account = found->pw_name;
    else
        check.account = "uid " + std::to_string(credentials.uid);
    return check;
}

}  // namespace tolvi::platform
