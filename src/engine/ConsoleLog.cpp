// The console's log file.
#include "engine/ConsoleLog.h"

#include <algorithm>
#include <cstring>

#include "engine/Format.h"
#include "platform/ErrorText.h"

namespace tolvi {

bool ConsoleLog::Open(const std::string& path, bool timeStamps) {
    Close();
    stamping = timeStamps;
    stamps = LineStamps();
    logPath = path;
    problem.clear();
    notice.clear();
    rotationFailed = false;
    written = 0;
    platform::SysError error = file.Open(path, &written);
    return error.Failed() ? Fail(error) : true;
}

bool ConsoleLog::Append(const uint8_t* data, size_t size) {
    if (!file.IsOpen())
        return false;
    if (!stamping)
        return Write(data, size);
    stamped.clear();
    stamps.Stamp(data, size, std::chrono::system_clock::now(), &stamped);
    return Write(reinterpret_cast<const uint8_t*>(stamped.data()), stamped.size());
}

bool ConsoleLog::Write(const uint8_t* data, size_t size) {
    while (size > 0) {
        // Up to the rotation size as it comes; beyond it, up to the first line end, so that a
        // line is not split between two files. With no line end for long, split anyway.
        size_t part = size;
        bool rotate = false;
        if (written < kRotateBytes) {
            part = static_cast<size_t>(std::min<uint64_t>(size, kRotateBytes - written));
        } else if (rotationFailed) {
            // The file could not be renamed: one more try at each line end, none between.
            const void* end = std::memchr(data, '\n', size);
            if (end) {
                part = static_cast<size_t>(static_cast<const uint8_t*>(end) - data) + 1;
                rotate = true;
            }
        } else {
            const uint64_t limit = kRotateBytes + kLineSearchBytes;
            uint64_t room = limit - std::min(written, limit);
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
            platform::SysError error = file.Write(data, part);
            if (error.Failed())
                return Fail(error);
        }
        written += part;
        data += part;
        size -= part;
        if (rotate && !Rotate())
            return false;
    }
    return true;
}

bool ConsoleLog::Rotate() {
    file.Close();
    platform::SysError renamed = platform::ReplaceFile(logPath, logPath + ".1");
    uint64_t size = 0;
    platform::SysError error = file.Open(logPath, &size);
    if (error.Failed())
        return Fail(error);
    if (renamed.Failed()) {
        // Appended to as it is; the next line end tries again.
        if (!rotationFailed)
            notice = Format("Could not rotate log file %s (%s): it goes on growing until it can",
                            logPath.c_str(), platform::GetSystemErrorText(renamed.code).c_str());
        rotationFailed = true;
        written = size;
        return true;
    }
    rotationFailed = false;
    written = size;
    return true;
}

void ConsoleLog::Close() {
    file.Close();
}

bool ConsoleLog::Fail(const platform::SysError& error) {
    Close();
    std::string why = file.Refusal().empty() ? platform::GetSystemErrorText(error.code)
                                             : file.Refusal();
    problem = Format("Could not write log file %s (%s)", logPath.c_str(), why.c_str());
    return false;
}

}  // namespace tolvi
