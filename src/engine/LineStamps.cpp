// Stamping a console's lines.
#include "engine/LineStamps.h"

#include <cstring>
#include <ctime>

#include "engine/Format.h"

namespace tolvi {

// The thread-safe forms, since many threads tell the time at once.
std::tm TimeParts(std::chrono::system_clock::time_point at, bool utc) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
#ifdef _WIN32
    utc ? gmtime_s(&parts, &seconds) : localtime_s(&parts, &seconds);
#else
    utc ? gmtime_r(&seconds, &parts) : localtime_r(&seconds, &parts);
#endif
    return parts;
}

namespace {

std::string Strftime(std::chrono::system_clock::time_point at, bool utc, const char* format) {
    std::tm parts = TimeParts(at, utc);
    char text[64] = "";
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

}  // namespace

std::string TimeText(std::chrono::system_clock::time_point at, bool utc, const char* format) {
    using namespace std::chrono;
    int millis = static_cast<int>(duration_cast<milliseconds>(at.time_since_epoch()).count() % 1000);
    return Format("%s.%03d", Strftime(at, utc, format).c_str(), millis < 0 ? 0 : millis);
}

std::string LocalClock(std::chrono::system_clock::time_point at) {
    return Strftime(at, false, "%H:%M:%S");
}

std::string LocalStamp(std::chrono::system_clock::time_point at) {
    return TimeText(at, false, "%Y-%m-%d %H:%M:%S") + " ";
}

void LineStamps::Stamp(const uint8_t* data, size_t size, std::chrono::system_clock::time_point now,
                       std::string* stamped) {
    std::string stamp;  // made once a chunk, when a line begins in it
    while (size > 0) {
        if (atLineStart) {
            if (stamp.empty())
                stamp = LocalStamp(now);
            stamped->append(stamp);
            atLineStart = false;
            lineLength = 0;
        }
        size_t room = kLongestLine - lineLength;
        size_t look = size < room ? size : room;
        const void* lf = std::memchr(data, '\n', look);
        size_t part = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - data) + 1 : look;
        stamped->append(reinterpret_cast<const char*>(data), part);
        lineLength += part;
        // A line end, or a line too long to wait for its end: the next byte begins a line.
        atLineStart = lf != nullptr || lineLength >= kLongestLine;
        if (atLineStart && !lf)
            stamped->push_back('\n');
        data += part;
        size -= part;
    }
}

}  // namespace tolvi
