// The web console's Telnet client side (RFC 854, 857, 858) and its text for the browser.
#include "web/TelnetBridge.h"

#include <cstring>

namespace tolvi::web {
namespace {

void AppendLatin1(uint8_t byte, std::string* text) {
    if (byte < 0x80) {
        text->push_back(static_cast<char>(byte));
        return;
    }
    text->push_back(static_cast<char>(0xC0 | (byte >> 6)));
    text->push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

// How long the sequence that lead starts is, and the range its second byte must fall in
// (which rules out overlong forms, surrogates and code points past U+10FFFF); 0 when lead
// starts none.
size_t SequenceOf(uint8_t lead, uint8_t* low, uint8_t* high) {
    *low = 0x80;
    *high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0)
            *low = 0xA0;
        if (lead == 0xED)
            *high = 0x9F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0)
            *low = 0x90;
        if (lead == 0xF4)
            *high = 0x8F;
        return 4;
    }
    return 0;
}

// 1 when bytes[0..count) starts with a whole valid character of the given length, 0 when it
// cannot be one, -1 when it may still become one.
int Complete(const uint8_t* bytes, size_t count, size_t length, uint8_t low, uint8_t high) {
    for (size_t k = 1; k < length; ++k) {
        if (k >= count)
            return -1;
        uint8_t b = bytes[k];
        if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF))
            return 0;
    }
    return 1;
}

}  // namespace

void TextFromBytes::Feed(const uint8_t* bytes, size_t count, std::string* text) {
    if (heldCount > 0 && count > 0) {
        // Rare: a character was cut between two chunks. Read the two as one.
        joined.assign(held, held + heldCount);
        joined.insert(joined.end(), bytes, bytes + count);
        heldCount = 0;
        Convert(joined.data(), joined.size(), text);
        return;
    }
    Convert(bytes, count, text);
}

void TextFromBytes::Convert(const uint8_t* bytes, size_t count, std::string* text) {
    size_t i = 0;
    while (i < count) {
        // Runs of ASCII go through as they are.
        size_t start = i;
        while (i < count && bytes[i] < 0x80)
            ++i;
        text->append(reinterpret_cast<const char*>(bytes + start), i - start);
        if (i == count)
            break;
        uint8_t low, high;
        size_t length = SequenceOf(bytes[i], &low, &high);
        int whole = length == 0 ? 0 : Complete(bytes + i, count - i, length, low, high);
        if (whole > 0) {
            text->append(reinterpret_cast<const char*>(bytes + i), length);
            i += length;
        } else if (whole < 0) {
            heldCount = count - i;
            std::memcpy(held, bytes + i, heldCount);
            return;
        } else {
            // Not a character: the byte stands alone, and what follows it is read afresh.
            AppendLatin1(bytes[i++], text);
        }
    }
}

void TextFromBytes::Finish(std::string* text) {
    for (size_t k = 0; k < heldCount; ++k)
        AppendLatin1(held[k], text);
    heldCount = 0;
}

void FromConsole::StringReplies::Reply(uint8_t command, uint8_t option) {
    const char bytes[3] = {static_cast<char>(telnet::kIac), static_cast<char>(command),
                           static_cast<char>(option)};
    to->append(bytes, 3);
}

void FromConsole::Feed(const uint8_t* bytes, size_t count, std::string* text,
                       std::string* answers) {
    if (!speaksTelnet) {
        toText.Feed(bytes, count, text);
        return;
    }
    replies.to = answers;
    chunkData.resize(count);
    size_t length = parser.Feed(bytes, count, chunkData.data(), policy);
    toText.Feed(chunkData.data(), length, text);
}

}  // namespace tolvi::web
