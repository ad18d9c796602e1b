// The SSH server's files on POSIX: plain reads, and a new file made with mode 0600.
#include "ssh/KeyFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ErrorText.h"

namespace tolvi::ssh {
namespace {

std::string Reason(int code) {
    return platform::GetSystemErrorText(code);
}

}  // namespace

ReadResult ReadSmallFile(const std::string& path, std::string* text, std::string* why, size_t most,
                         bool* cut) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = Reason(errno);
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    text->clear();
    if (cut)
        *cut = false;
    char buffer[8192];
    for (;;) {
        // One byte more than allowed tells a file that is larger from one that is not.
        size_t wanted = std::min(sizeof buffer, most + 1 - text->size());
        ssize_t n = read(fd, buffer, wanted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *why = Reason(errno);
            close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        text->append(buffer, static_cast<size_t>(n));
        if (text->size() > most) {
            text->resize(most);
            if (!cut) {
                *why = "larger than " + std::to_string(most >> 20) + " MiB";
                close(fd);
                return ReadResult::Failed;
            }
            *cut = true;
            break;
        }
    }
    close(fd);
    return ReadResult::Read;
}

bool CreatePrivateFile(const std::string& path, const std::string& text, FileAccess,
                       std::string* why) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *why = Reason(errno);
        return false;
    }
    // The umask may only take rights away; this makes sure none were left over.
    bool ok = fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    int code = errno;
    close(fd);
    if (!ok) {
        unlink(path.c_str());
        *why = Reason(code);
    }
    return ok;
}

}  // namespace tolvi::ssh
