// The console's log file.
#include "engine/ConsoleLog.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "engine/Format.h"

namespace tolvi {

bool ConsoleLog::Open(const std::string& path) {
    Close();
    path_ = path;
    problem_.clear();
    file_ = std::fopen(path.c_str(), "ab");
    if (!file_)
        return Fail(errno);
    std::fseek(file_, 0, SEEK_END);
    long at = std::ftell(file_);
    size_ = at > 0 ? static_cast<uint64_t>(at) : 0;
    return true;
}

bool ConsoleLog::Append(const uint8_t* data, size_t size) {
    if (!file_)
        return false;
    while (size > 0) {
        // Up to the rotation size as it comes; beyond it, up to the first line end, so that a
        // line is not split between two files. With no line end for long, split anyway.
        size_t part = size;
        bool rotate = false;
        if (size_ < kRotateBytes) {
            part = std::min<uint64_t>(size, kRotateBytes - size_);
        } else {
            const uint64_t limit = kRotateBytes + kLineSearchBytes;
            uint64_t room = limit - std::min(size_, limit);
            size_t look = static_cast<size_t>(std::min<uint64_t>(size, room));
            const void* end = std::memchr(data, '\n', look);
            if (end) {
                part = static_cast<size_t>(static_cast<const uint8_t*>(end) - data) + 1;
                rotate = true;
            } else if (look == room) {
                part = look;
                rotate = true;
            }
        }
        errno = 0;
        if (part > 0 && std::fwrite(data, 1, part, file_) != part)
            return Fail(errno ? errno : EIO);
        size_ += part;
        data += part;
        size -= part;
        if (rotate && !Rotate())
            return false;
    }
    // On the disk at once: a console that dies a second later leaves its last words there.
    if (file_ && std::fflush(file_) != 0)
        return Fail(errno ? errno : EIO);
    return true;
}

bool ConsoleLog::Rotate() {
    std::fclose(file_);
    file_ = nullptr;
    std::string older = path_ + ".1";
    std::remove(older.c_str());  // rename does not replace a file on every system
    if (std::rename(path_.c_str(), older.c_str()) != 0)
        return Fail(errno);
    file_ = std::fopen(path_.c_str(), "ab");
    if (!file_)
        return Fail(errno);
    size_ = 0;
    return true;
}

void ConsoleLog::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool ConsoleLog::Fail(int code) {
    Close();
    problem_ = Format("Could not write log file %s (%s)", path_.c_str(), std::strerror(code));
    return false;
}

}  // namespace tolvi
