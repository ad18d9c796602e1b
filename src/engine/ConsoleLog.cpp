// The console's log file.
#include "engine/ConsoleLog.h"

#include <cerrno>
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
        if (size_ >= kRotateBytes && !Rotate())
            return false;
        // Up to the rotation size exactly, so that no file grows past it.
        size_t room = static_cast<size_t>(kRotateBytes - size_);
        size_t part = size < room ? size : room;
        errno = 0;
        if (std::fwrite(data, 1, part, file_) != part)
            return Fail(errno ? errno : EIO);
        size_ += part;
        data += part;
        size -= part;
    }
    // On the disk at once: a console that dies a second later leaves its last words there.
    if (std::fflush(file_) != 0)
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
