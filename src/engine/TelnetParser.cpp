// The Telnet stream parser (RFC 854 commands).
#include "engine/TelnetParser.h"

#include <cstring>

namespace tolvi {
namespace {

constexpr uint8_t kCr = 13;

bool IsOptionCommand(uint8_t c) {
    return c >= telnet::kWill && c <= telnet::kDont;
}

// The length of the run from the start of bytes that holds no IAC (and no CR, when a NUL after
// it is to be dropped): plain data that can be copied as it is.
size_t PlainRun(const uint8_t* bytes, size_t count, bool stopAtCr) {
    const void* iac = std::memchr(bytes, telnet::kIac, count);
    size_t end = iac ? static_cast<size_t>(static_cast<const uint8_t*>(iac) - bytes) : count;
    if (!stopAtCr)
        return end;
    const void* cr = std::memchr(bytes, kCr, end);
    return cr ? static_cast<size_t>(static_cast<const uint8_t*>(cr) - bytes) : end;
}

}  // namespace

void TelnetParser::KeepSubnegotiationByte(uint8_t b) {
    if (subnegotiationSize < telnet::kLongestSubnegotiation)
        subnegotiation[subnegotiationSize] = b;
    if (subnegotiationSize <= telnet::kLongestSubnegotiation)
        ++subnegotiationSize;  // one past the limit marks it too long, and stays there
}

size_t TelnetParser::Feed(const uint8_t* bytes, size_t count, uint8_t* data, Listener& listener) {
    using namespace telnet;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        if (state == State::Data) {
            size_t run = PlainRun(bytes + i, count - i, dropNulAfterCr);
            if (data + length != bytes + i)  // in place, nothing moves until a command
                std::memmove(data + length, bytes + i, run);
            length += run;
            i += run;
            if (i == count)
                break;
        }
        uint8_t b = bytes[i];
        switch (state) {
            case State::Data:
            case State::AfterCr:
                if (b == kIac) {
                    state = State::SeenIac;
                } else if (b == 0 && state == State::AfterCr) {
                    state = State::Data;  // CR NUL is a bare CR
                } else {
                    data[length++] = b;
                    state = b == kCr && dropNulAfterCr ? State::AfterCr : State::Data;
                }
                break;
            case State::SeenIac:
                if (b == kIac) {
                    data[length++] = kIac;
                    state = State::Data;
                } else if (IsOptionCommand(b)) {
                    command = b;
                    state = State::SeenOption;
                } else if (b == kSb) {
                    state = State::InSubneg;
                    subnegotiationSize = 0;
                } else {
                    // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA (and a stray SE) take two bytes;
                    // so does IAC before a byte that is no command at all.
                    stored = length;
                    listener.OnCommand(b);
                    state = State::Data;
                }
                break;
            case State::SeenOption:
                stored = length;
                listener.OnOptionRequest(command, b);
                state = State::Data;
                break;
            case State::InSubneg:
                if (b == kIac)
                    state = State::InSubnegIac;
                else
                    KeepSubnegotiationByte(b);
                break;
            case State::InSubnegIac:
                if (b == kSe) {
                    state = State::Data;
                    if (subnegotiationSize > 0 && subnegotiationSize <= kLongestSubnegotiation) {
                        stored = length;
                        listener.OnSubnegotiation(subnegotiation, subnegotiationSize);
                    }
                } else {
                    // IAC IAC is a 255 of the body; IAC and anything else inside one is no
                    // command that RFC 854 knows there, and is dropped.
                    if (b == kIac)
                        KeepSubnegotiationByte(b);
                    state = State::InSubneg;
                }
                break;
        }
    }
    return length;
}

}  // namespace tolvi
