// Which escape sequences are questions to the terminal, found in a stream that may cut them
// anywhere.
#include "engine/TerminalQueries.h"

#include <cstdlib>

namespace tolvi {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kEnq = 0x05;  // "who are you?": the terminal answers with its answerback
constexpr uint8_t kBel = 0x07;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kSub = 0x1A;
// Queries are short: a longer sequence (a title, a picture, a clipboard's contents) is passed
// on without being held whole.
constexpr size_t kLongestCsi = 64;
constexpr size_t kLongestString = 512;

bool IsParameter(uint8_t c) {
    return c >= 0x30 && c <= 0x3F;
}
bool IsIntermediate(uint8_t c) {
    return c >= 0x20 && c <= 0x2F;
}
bool IsFinal(uint8_t c) {
    return c >= 0x40 && c <= 0x7E;
}

// CSI params intermediates final.
bool IsCsiQuery(const std::string& params, const std::string& intermediates, char final) {
    if (final == 'p')
        return intermediates == "$";  // DECRQM: is this mode set?
    if (!intermediates.empty())
        return false;
    switch (final) {
        case 'n':  // device status and cursor position reports; 0n and 3n are answers
            return params == "5" || params == "6" || (!params.empty() && params[0] == '?');
        case 'c':  // primary, secondary and tertiary device attributes
            return params.empty() || params == "0" || params == ">" || params == ">0" ||
                   params == "=" || params == "=0";
        case 'q':  // XTVERSION
            return params == ">" || params == ">0";
        case 't': {  // window reports: state, position, size, title
            if (params.empty() || params[0] < '0' || params[0] > '9')
                return false;
            long what = std::strtol(params.c_str(), nullptr, 10);
            return what >= 11 && what <= 21;
        }
        default:
            return false;
    }
}

// OSC payload (without ESC ] and the terminator): a colour or the clipboard asked for.
bool IsOscQuery(const std::string& payload) {
    if (payload.empty() || payload.back() != '?')
        return false;
    size_t digits = 0;
    while (digits < payload.size() && payload[digits] >= '0' && payload[digits] <= '9')
        ++digits;
    if (digits == 0 || digits == payload.size() || payload[digits] != ';')
        return false;
    long what = std::strtol(payload.c_str(), nullptr, 10);
    return what == 4 || what == 5 || (what >= 10 && what <= 19) || what == 52;
}

}  // namespace

void TerminalQueryFilter::Feed(const uint8_t* data, size_t size, std::string* kept) {
    size_t i = 0;
    while (i < size) {
        const uint8_t c = data[i];
        switch (state) {
            case State::Text: {
                size_t run = i;
                while (run < size && data[run] != kEsc && data[run] != kEnq)
                    ++run;
                kept->append(reinterpret_cast<const char*>(data + i), run - i);
                if (run == size)
                    return;
                if (data[run] == kEsc) {
                    held.assign(1, static_cast<char>(kEsc));
                    state = State::Escape;
                }
                i = run + 1;  // an ENQ is left out
                break;
            }
            case State::Escape:
                if (c == '[' || c == ']' || c == 'P') {
                    held += static_cast<char>(c);
                    state = c == '[' ? State::Csi : State::String;
                    ++i;
                } else if (c == kEsc) {
                    kept->append(held);  // this ESC stands alone; the next may begin a sequence
                    ++i;
                } else {
                    Release(kept);  // no sequence that asks anything: c is looked at as text
                    state = State::Text;
                }
                break;
            case State::Csi:
                if (IsParameter(c) || IsIntermediate(c)) {
                    held += static_cast<char>(c);
                    ++i;
                    if (held.size() > kLongestCsi) {
                        Release(kept);
                        state = State::PassCsi;
                    }
                } else if (IsFinal(c)) {
                    held += static_cast<char>(c);
                    ++i;
                    Finish(kept);
                    state = State::Text;
                } else {
                    // A control or another ESC inside: whatever it is, it is no question. The
                    // bytes go on in their order, so the terminal reads them as it would have.
                    Release(kept);
                    state = State::Text;
                }
                break;
            case State::PassCsi:
                if (IsParameter(c) || IsIntermediate(c) || IsFinal(c)) {
                    kept->push_back(static_cast<char>(c));
                    ++i;
                    if (IsFinal(c))
                        state = State::Text;
                } else {
                    state = State::Text;
                }
                break;
            case State::String:
                if (c == kBel && held[1] == ']') {
                    held += static_cast<char>(c);
                    ++i;
                    Finish(kept);
                    state = State::Text;
                } else if (c == kEsc) {
                    held += static_cast<char>(c);
                    ++i;
                    state = State::StringEscape;
                } else if (c == kCan || c == kSub) {
                    Release(kept);  // cancelled
                    state = State::Text;
                } else {
                    held += static_cast<char>(c);
                    ++i;
                    if (held.size() > kLongestString) {
                        stringIsOsc = held[1] == ']';
                        Release(kept);
                        state = State::PassString;
                    }
                }
                break;
            case State::StringEscape:
                if (c == '\\') {
                    held += static_cast<char>(c);
                    ++i;
                    Finish(kept);
                    state = State::Text;
                } else {
                    // The string ended without its terminator, and the ESC begins anew.
                    held.pop_back();
                    Release(kept);
                    held.assign(1, static_cast<char>(kEsc));
                    state = State::Escape;
                }
                break;
            case State::PassString:
                if (c == kEsc) {
                    held.assign(1, static_cast<char>(kEsc));
                    state = State::PassStringEscape;
                } else {
                    kept->push_back(static_cast<char>(c));
                    if ((c == kBel && stringIsOsc) || c == kCan || c == kSub)
                        state = State::Text;
                }
                ++i;
                break;
            case State::PassStringEscape:
                if (c == '\\') {
                    kept->append(held);
                    kept->push_back('\\');
                    held.clear();
                    ++i;
                    state = State::Text;
                } else {
                    state = State::Escape;  // held is the ESC
                }
                break;
        }
    }
}

void TerminalQueryFilter::Finish(std::string* kept) {
    if (!HeldIsQuery())
        kept->append(held);
    held.clear();
}

void TerminalQueryFilter::Release(std::string* kept) {
    kept->append(held);
    held.clear();
}

bool TerminalQueryFilter::HeldIsQuery() const {
    if (held.size() < 3)
        return false;
    if (held[1] == '[') {
        std::string body = held.substr(2, held.size() - 3);
        size_t params = 0;
        while (params < body.size() && IsParameter(static_cast<uint8_t>(body[params])))
            ++params;
        return IsCsiQuery(body.substr(0, params), body.substr(params), held.back());
    }
    // A string: ESC ] or ESC P, its payload, then BEL or ESC \.
    size_t terminator = held.back() == static_cast<char>(kBel) ? 1 : 2;
    if (held.size() < 2 + terminator)
        return false;
    std::string payload = held.substr(2, held.size() - 2 - terminator);
    if (held[1] == ']')
        return IsOscQuery(payload);
    // DECRQSS (what is this setting?) and XTGETTCAP (what is this capability?).
    return payload.compare(0, 2, "$q") == 0 || payload.compare(0, 2, "+q") == 0;
}

}  // namespace tolvi
