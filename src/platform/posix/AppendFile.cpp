// Files that only grow, on POSIX.
#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/FileTrust.h"
#include "platform/posix/PosixError.h"

namespace tolvi::platform {

SysError AppendFile::Open(const std::string& path, uint64_t* size) {
    Close();
    refusal.clear();
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ELOOP) {
        refusal = "it is a link";
        return ErrnoError(EACCES);
    }
    if (fd < 0)
        return LastErrno();
    FileTrust owner = CheckOwnerOf(fd);
    if (!owner.trusted) {
        refusal = "it " + owner.why;
        close(fd);
        return ErrnoError(EACCES);
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        SysError error = LastErrno();
        close(fd);
        return error;
    }
    // One an earlier version made for everyone to read is made its owner's alone.
    if (info.st_uid == geteuid() && (info.st_mode & 077) != 0)
        fchmod(fd, info.st_mode & 0700);
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
