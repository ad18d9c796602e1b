// Hexadecimal digits, read and written: in IPv6 addresses, URLs' escapes and tokens.
#pragma once

namespace tolvi::platform {

// The digit's value, 0 to 15, in either case; -1 for a character that is no hex digit.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The digit for value (0 to 15).
inline char HexDigit(unsigned value, bool upper = false) {
    return (upper ? "0123456789ABCDEF" : "0123456789abcdef")[value & 15];
}

}  // namespace tolvi::platform
