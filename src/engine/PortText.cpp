// Reading numbers out of port texts.
#include "engine/PortText.h"

#include <climits>

namespace tolvi {
namespace {

struct Reading {
    bool negative = false;
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

bool ReadWholeNumber(const std::string& text, int* number) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    size_t end = text.find_last_not_of(" \t") + 1;
    std::string digits = text.substr(begin, end - begin);
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *number = TextToInt(digits);
    return true;
}

bool ListenPortFromText(const std::string& text, uint16_t* port) {
    int number = TextToInt(text);
    if (number < 1 || number > 65535)
        return false;
    *port = static_cast<uint16_t>(number);
    return true;
}

}  // namespace tolvi
