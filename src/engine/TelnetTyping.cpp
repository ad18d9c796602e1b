// Typed bytes into a Telnet stream (RFC 854: IAC doubled, a bare CR as CR NUL).
#include "engine/TelnetTyping.h"

#include <cstdint>

#include "engine/TelnetParser.h"

namespace tolvi {

std::string ToConsole(const char* data, size_t size, bool telnet) {
    if (!telnet)
        return std::string(data, size);
    constexpr uint8_t kCr = 13, kLf = 10, kNul = 0;
    std::string out;
    out.reserve(size + 8);
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = static_cast<uint8_t>(data[i]);
        out.push_back(static_cast<char>(b));
        if (b == telnet::kIac)
            out.push_back(static_cast<char>(telnet::kIac));
        else if (b == kCr && (i + 1 == size || static_cast<uint8_t>(data[i + 1]) != kLf))
            out.push_back(static_cast<char>(kNul));
    }
    return out;
}

}  // namespace tolvi
