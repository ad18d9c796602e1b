// Stamping a console's lines.
#include "engine/LineStamps.h"

#include <cstring>
#include <ctime>

#include "engine/Format.h"

namespace tolvi {

std::string LocalStamp(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    std::time_t seconds = system_clock::to_time_t(at);
    int millis = static_cast<int>(duration_cast<milliseconds>(at.time_since_epoch()).count() % 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32] = "";
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return Format("%s.%03d ", text, millis < 0 ? 0 : millis);
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
