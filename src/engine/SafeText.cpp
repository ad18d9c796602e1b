// Making any bytes into text that is safe to show.
#include "engine/SafeText.h"

#include <cstdint>

namespace tolvi {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed character at the start of bytes, or 0 when there is none
// (RFC 3629's table: no overlong forms, no surrogates, nothing beyond U+10FFFF).
size_t CharacterLength(std::string_view bytes) {
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    uint8_t lead = at(0);
    if (lead < 0x80)
        return 1;
    size_t length;
    uint8_t low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    if (at(1) < low || at(1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (at(k) < 0x80 || at(k) > 0xBF)
            return 0;
    }
    return length;
}

const char kHex[] = "0123456789abcdef";

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t length = CharacterLength(bytes.substr(i));
        if (length == 0) {
            text += kReplacement;
            ++i;
        } else {
            text.append(bytes.data() + i, length);
            i += length;
        }
    }
    return text;
}

std::string EscapedText(std::string_view text, size_t mostCharacters) {
    const std::string valid = ValidUtf8(text);
    std::string shown;
    shown.reserve(valid.size());
    size_t characters = 0;
    for (size_t i = 0; i < valid.size();) {
        if (characters == mostCharacters) {
            shown += "...";
            break;
        }
        uint8_t c = static_cast<uint8_t>(valid[i]);
        size_t length = CharacterLength(std::string_view(valid).substr(i));
        unsigned code = c;
        if (length == 2)  // C1 controls are U+0080 to U+009F: C2 80 to C2 9F
            code = c == 0xC2 ? static_cast<uint8_t>(valid[i + 1]) : 0x100;
        bool control = (length == 1 && (c < 0x20 || c == 0x7F)) ||
                       (length == 2 && code >= 0x80 && code <= 0x9F);
        if (control) {
            shown += "\\x";
            shown += kHex[code >> 4];
            shown += kHex[code & 0xF];
        } else {
            shown.append(valid, i, length);
        }
        i += length;
        ++characters;
    }
    return shown;
}

size_t Utf8CharacterLength(std::string_view bytes) {
    return bytes.empty() ? 0 : CharacterLength(bytes);
}

std::string DoubledIac(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (static_cast<uint8_t>(c) == 0xFF)
            out += c;
    }
    return out;
}

}  // namespace tolvi
