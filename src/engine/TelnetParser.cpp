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
                } else {
                    // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA (and a stray SE) take two bytes;
                    // so does IAC before a byte that is no command at all.
                    listener.OnCommand(b);
                    state = State::Data;
                }
                break;
            case State::SeenOption:
                listener.OnOptionRequest(command, b);
                state = State::Data;
                break;
            case State::InSubneg:
                if (b == kIac)
                    state = State::InSubnegIac;
                break;
            case State::InSubnegIac:
                state = b == kSe ? State::Data : State::InSubneg;
                break;
        }
    }
    return length;
}

}  // namespace tolvi
