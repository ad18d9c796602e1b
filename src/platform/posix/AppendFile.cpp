// Files that only grow, on POSIX.
#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/posix/PosixError.h"

namespace tolvi::platform {

SysError AppendFile::Open(const std::string& path, uint64_t* size, bool ownerOnly) {
    Close();
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return LastErrno();
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        SysError error = LastErrno();
        close(fd);
        return error;
    }
    if (ownerOnly && (info.st_mode & 077) != 0)
        fchmod(fd, 0600);  // one made before, with wider rights
    *size = static_cast<uint64_t>(info.st_size);
    descriptor = fd;
    return {};
}

bool AppendFile::IsOpen() const {
    return descriptor >= 0;
}

SysError AppendFile::Write(const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(descriptor, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LastErrno();
        if (n == 0)
            return ErrnoError(EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return {};
}

void AppendFile::Close() {
    if (descriptor >= 0)
        close(descriptor);
    descriptor = -1;
}

SysError ReplaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? SysError{} : LastErrno();
}

}  // namespace tolvi::platform
