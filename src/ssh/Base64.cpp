// Base64 encoding and strict decoding.
#include "ssh/Base64.h"

#include <cstdint>

namespace tolvi::ssh {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes, bool padded) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 |
                     static_cast<uint8_t>(bytes[i + 1]) << 8 | static_cast<uint8_t>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out += kAlphabet[(v >> shift) & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        if (rest == 2)
            out += kAlphabet[(v >> 6) & 63];
        if (padded)
            out.append(3 - rest, '=');
    }
    return out;
}

bool Base64Decode(const std::string& text, std::string* bytes) {
    if (text.size() % 4 != 0)
        return false;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            int value = ValueOf(c);
            if (c == '=' && last && k >= 2 && (k == 3 || text[i + 3] == '=')) {
                ++pad;
                value = 0;
            } else if (value < 0 || pad > 0) {
                return false;
            }
            v = v << 6 | static_cast<uint32_t>(value);
        }
        out += static_cast<char>(v >> 16);
        if (pad < 2)
            out += static_cast<char>(v >> 8 & 0xFF);
        if (pad < 1)
            out += static_cast<char>(v & 0xFF);
    }
    *bytes = std::move(out);
    return true;
}

}  // namespace tolvi::ssh
