// Reading numbers out of port texts.
#include "engine/PortText.h"

#include <climits>

namespace tolvi {
namespace {

struct Reading {
    bool negative = false;
    uint64_t low = 0;       // the magnitude modulo 2^64, for its low bits
    bool overflow = false;  // the magnitude exceeds INT_MAX + 1
    uint64_t clamped = 0;   // the magnitude while it fits
};

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

Reading Read(const std::string& text) {
    Reading r;
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        r.negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        r.low = r.low * 10 + digit;
        if (!r.overflow) {
            r.clamped = r.clamped * 10 + digit;
            if (r.clamped > static_cast<uint64_t>(INT_MAX) + 1)
                r.overflow = true;
        }
    }
    return r;
}

}  // namespace

int TextToInt(const std::string& text) {
    Reading r = Read(text);
    if (r.negative) {
        if (r.overflow || r.clamped > static_cast<uint64_t>(INT_MAX) + 1)
            return INT_MIN;
        return static_cast<int>(-static_cast<int64_t>(r.clamped));
    }
    if (r.overflow || r.clamped > static_cast<uint64_t>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(r.clamped);
}

uint16_t PortNumberFromText(const std::string& text) {
    Reading r = Read(text);
    uint64_t value = r.negative ? (0 - r.low) : r.low;
    return static_cast<uint16_t>(value & 0xFFFF);
}

}  // namespace tolvi
