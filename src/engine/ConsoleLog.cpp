// The console's log file.
#include "engine/ConsoleLog.h"

#include <algorithm>
#include <cstring>

#include "engine/Format.h"
#include "platform/ErrorText.h"

namespace tolvi {

bool ConsoleLog::Open(const std::string& path) {
    Close();
    path_ = path;
    problem_.clear();
    size_ = 0;
    platform::SysError error = file_.Open(path, &size_);
    return error.Failed() ? Fail(error) : true;
}

bool ConsoleLog::Append(const uint8_t* data, size_t size) {
    if (!file_.IsOpen())
        return false;
    while (size > 0) {
        // Up to the rotation size as it comes; beyond it, up to the first line end, so that a
        // line is not split between two files. With no line end for long, split anyway.
        size_t part = size;
        bool rotate = false;
        if (size_ < kRotateBytes) {
            part = static_cast<size_t>(std::min<uint64_t>(size, kRotateBytes - size_));
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
        if (part > 0) {
            // On the disk at once: a console that dies a second later leaves its last words.
            platform::SysError error = file_.Write(data, part);
            if (error.Failed())
                return Fail(error);
        }
        size_ += part;
        data += part;
        size -= part;
        if (rotate && !Rotate())
            return false;
    }
    return true;
}

bool ConsoleLog::Rotate() {
    file_.Close();
    platform::SysError error = platform::ReplaceFile(path_, path_ + ".1");
    if (error.Failed())
        return Fail(error);
    size_ = 0;
    error = file_.Open(path_, &size_);
    return error.Failed() ? Fail(error) : true;
}

void ConsoleLog::Close() {
    file_.Close();
}

bool ConsoleLog::Fail(const platform::SysError& error) {
    Close();
    problem_ = Format("Could not write log file %s (%s)", path_.c_str(),
                      platform::GetSystemErrorText(error.code).c_str());
    return false;
}

}  // namespace tolvi
