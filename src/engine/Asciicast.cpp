// Writing asciicast v2.
#include "engine/Asciicast.h"

#include <cinttypes>
#include <cstdio>

#include "engine/SafeText.h"

namespace tolvi {

void AppendJsonString(std::string* out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out->push_back('"');
    for (char c : text) {
        auto byte = static_cast<uint8_t>(c);
        switch (c) {
            case '"':
                *out += "\\\"";
                break;
            case '\\':
                *out += "\\\\";
                break;
            case '\n':
                *out += "\\n";
                break;
            case '\r':
                *out += "\\r";
                break;
            case '\t':
                *out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    *out += "\\u00";
                    out->push_back(kHex[byte >> 4]);
                    out->push_back(kHex[byte & 0xF]);
                } else {
                    out->push_back(c);
                }
        }
    }
    out->push_back('"');
}

std::string AsciicastHeader(int width, int height, int64_t timestamp, std::string_view title) {
    char start[96];
    std::snprintf(start, sizeof start, "{\"version\": 2, \"width\": %d, \"height\": %d, \"timestamp\": %" PRId64 ", \"title\": ",
                  width, height, timestamp);
    std::string line = start;
    AppendJsonString(&line, ValidUtf8(title));
    line += ", \"env\": {\"TERM\": \"xterm-256color\"}}\n";
    return line;
}

void AppendAsciicastEvent(std::string* out, int64_t micros, char code, std::string_view text) {
    char start[48];
    std::snprintf(start, sizeof start, "[%" PRId64 ".%06d, \"%c\", ", micros / 1000000,
                  static_cast<int>(micros % 1000000), code);
    *out += start;
    AppendJsonString(out, text);
    *out += "]\n";
}

namespace {

// How long the character that lead begins is, by its first byte; 0 for no lead byte.
size_t LeadLength(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

}  // namespace

void Utf8Stream::Feed(const uint8_t* data, size_t size, std::string* out) {
    std::string bytes;
    bytes.reserve(held.size() + size);
    bytes.swap(held);
    bytes.append(reinterpret_cast<const char*>(data), size);
    // A lead byte among the last three whose character would end beyond the piece waits.
    size_t keep = 0;
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        auto byte = static_cast<uint8_t>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation: look further back for its lead
        size_t length = LeadLength(byte);
        if (length > back)
            keep = back;
        break;
    }
    held.assign(bytes, bytes.size() - keep, keep);
    bytes.resize(bytes.size() - keep);
    *out += ValidUtf8(bytes);
}

void Utf8Stream::Finish(std::string* out) {
    *out += ValidUtf8(held);
    held.clear();
}

}  // namespace tolvi
