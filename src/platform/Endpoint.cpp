// Reading and writing addresses, without the system's help, so that they read the same on
// every platform.
#include "platform/Endpoint.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Hex.h"

namespace tolvi::platform {
namespace {

const uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Four decimal numbers from 0 to 255 without leading zeros, separated by dots.
bool ParseV4(const std::string& text, uint8_t out[4]) {
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
        size_t start = i;
        unsigned value = 0;
        while (i < text.size() && IsDigit(text[i]) && i - start < 3)
            value = value * 10 + unsigned(text[i++] - '0');
        size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return false;
        out[part] = static_cast<uint8_t>(value);
    }
    return i == text.size();
}

// Eight groups of up to four hex digits, one run of them left out as "::", the last two
// perhaps written as an IPv4 address.
bool ParseV6(const std::string& text, uint8_t out[16]) {
    std::vector<uint16_t> head, tail;
    std::vector<uint16_t>* groups = &head;
    bool gap = false;
    size_t i = 0;
    if (text.compare(0, 2, "::") == 0) {
        gap = true;
        groups = &tail;
        i = 2;
    } else if (!text.empty() && text[0] == ':') {
        return false;
    }
    bool v4Tail = false;
    uint8_t v4[4] = {};
    while (i < text.size()) {
        size_t end = text.find(':', i);
        std::string group = text.substr(i, end == std::string::npos ? end : end - i);
        if (group.find('.') != std::string::npos) {
            if (end != std::string::npos || !ParseV4(group, v4))
                return false;  // an IPv4 part comes last
            v4Tail = true;
            i = text.size();
            break;
        }
        if (group.empty() || group.size() > 4)
            return false;
        unsigned value = 0;
        for (char c : group) {
            int h = HexValue(c);
            if (h < 0)
                return false;
            value = value * 16 + unsigned(h);
        }
        groups->push_back(static_cast<uint16_t>(value));
        if (end == std::string::npos) {
            i = text.size();
            break;
        }
        i = end + 1;
        if (i < text.size() && text[i] == ':') {
            if (gap)
                return false;  // "::" only once
            gap = true;
            groups = &tail;
            ++i;
        } else if (i == text.size()) {
            return false;  // a lone ':' at the end
        }
    }
    size_t count = head.size() + tail.size() + (v4Tail ? 2 : 0);
    if (gap ? count > 7 : count != 8)
        return false;
    std::memset(out, 0, 16);
    size_t at = 0;
    for (uint16_t g : head) {
        out[at++] = static_cast<uint8_t>(g >> 8);
        out[at++] = static_cast<uint8_t>(g);
    }
    at = 16 - 2 * tail.size() - (v4Tail ? 4 : 0);
    for (uint16_t g : tail) {
        out[at++] = static_cast<uint8_t>(g >> 8);
        out[at++] = static_cast<uint8_t>(g);
    }
    if (v4Tail)
        std::memcpy(out + 12, v4, 4);
    return true;
}

Endpoint Make(Family family, const uint8_t* bytes, size_t size, uint16_t port) {
    Endpoint e;
    e.family = family;
    std::memcpy(e.address, bytes, size);
    e.port = port;
    return e;
}

}  // namespace

Endpoint Endpoint::AnyV4(uint16_t port) {
    const uint8_t any[4] = {0, 0, 0, 0};
    return Make(Family::V4, any, 4, port);
}

Endpoint Endpoint::AnyV6(uint16_t port) {
    const uint8_t any[16] = {};
    return Make(Family::V6, any, 16, port);
}

Endpoint Endpoint::LoopbackV4(uint16_t port) {
    const uint8_t loopback[4] = {127, 0, 0, 1};
    return Make(Family::V4, loopback, 4, port);
}

Endpoint Endpoint::LoopbackV6(uint16_t port) {
    uint8_t loopback[16] = {};
    loopback[15] = 1;
    return Make(Family::V6, loopback, 16, port);
}

bool Endpoint::operator==(const Endpoint& other) const {
    size_t size = family == Family::V4 ? 4 : 16;
    return family == other.family && port == other.port && scope == other.scope &&
           std::memcmp(address, other.address, size) == 0;
}

bool Endpoint::IsV4Mapped() const {
    return family == Family::V6 && std::memcmp(address, kMappedPrefix, 12) == 0;
}

Endpoint Endpoint::Unmapped() const {
    return IsV4Mapped() ? Make(Family::V4, address + 12, 4, port) : *this;
}

bool ParseAddress(const std::string& text, Endpoint* out) {
    Endpoint e;
    e.port = out->port;
    if (ParseV4(text, e.address)) {
        e.family = Family::V4;
        *out = e;
        return true;
    }
    std::string address = text;
    size_t percent = text.find('%');
    if (percent != std::string::npos) {
        std::string zone = text.substr(percent + 1);
        if (zone.empty() || zone.size() > 9)
            return false;
        for (char c : zone) {
            if (!IsDigit(c))
                return false;
            e.scope = e.scope * 10 + uint32_t(c - '0');
        }
        address = text.substr(0, percent);
    }
    if (!ParseV6(address, e.address))
        return false;
    e.family = Family::V6;
    *out = e;
    return true;
}

std::string AddressText(const Endpoint& endpoint) {
    Endpoint e = endpoint.Unmapped();
    char text[64];
    if (e.family == Family::V4) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", e.address[0], e.address[1], e.address[2],
                      e.address[3]);
        return text;
    }
    uint16_t groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] = static_cast<uint16_t>(e.address[2 * i] << 8 | e.address[2 * i + 1]);
    // The longest run of two or more zero groups, the first of equals, is left out.
    int bestAt = -1, bestLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength && j - i >= 2) {
            bestAt = i;
            bestLength = j - i;
        }
        i = j;
    }
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == bestAt) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':')
            out += ':';
        std::snprintf(text, sizeof text, "%x", groups[i]);
        out += text;
    }
    if (e.scope != 0)
        out += "%" + std::to_string(e.scope);
    return out;
}

}  // namespace tolvi::platform
