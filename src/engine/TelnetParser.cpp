// The Telnet stream parser (RFC 854 commands, RFC 857/858 answers).
#include "engine/TelnetParser.h"

#include <cstring>

namespace tolvi {
namespace {

constexpr uint8_t kCr = 13;

bool IsOptionCommand(uint8_t c) {
    return c >= telnet::kWill && c <= telnet::kDont;
}

void AnswerRequest(uint8_t command, uint8_t option, TelnetParser::Answers& out) {
    using namespace telnet;
    if (command == kDo) {
        out.Answer(option == kEcho || option == kSuppressGoAhead ? kWill : kWont, option);
    } else if (command == kWill) {
        out.Answer(kDont, option);
    }
}

// The length of the run from the start of bytes that holds no IAC and no CR: plain data that
// can be copied as it is.
size_t PlainRun(const uint8_t* bytes, size_t count) {
    const void* iac = std::memchr(bytes, telnet::kIac, count);
    size_t end = iac ? static_cast<size_t>(static_cast<const uint8_t*>(iac) - bytes) : count;
    const void* cr = std::memchr(bytes, kCr, end);
    return cr ? static_cast<size_t>(static_cast<const uint8_t*>(cr) - bytes) : end;
}

}  // namespace

size_t TelnetParser::Feed(const uint8_t* bytes, size_t count, uint8_t* data, Answers& out) {
    using namespace telnet;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        if (state_ == State::Data) {
            size_t run = PlainRun(bytes + i, count - i);
            std::memcpy(data + length, bytes + i, run);
            length += run;
            i += run;
            if (i == count)
                break;
        }
        uint8_t b = bytes[i];
        switch (state_) {
            case State::Data:
            case State::AfterCr:
                if (b == kIac) {
                    state_ = State::SeenIac;
                } else if (b == 0 && state_ == State::AfterCr) {
                    state_ = State::Data;  // CR NUL is a bare CR
                } else {
                    data[length++] = b;
                    state_ = b == kCr ? State::AfterCr : State::Data;
                }
                break;
            case State::SeenIac:
                if (b == kIac) {
                    data[length++] = kIac;
                    state_ = State::Data;
                } else if (IsOptionCommand(b)) {
                    command_ = b;
                    state_ = State::SeenOption;
                } else if (b == kSb) {
                    state_ = State::InSubneg;
                } else {
                    // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA (and a stray SE) take two bytes;
                    // so does IAC before a byte that is no command at all.
                    state_ = State::Data;
                }
                break;
            case State::SeenOption:
                AnswerRequest(command_, b, out);
                state_ = State::Data;
                break;
            case State::InSubneg:
                if (b == kIac)
                    state_ = State::InSubnegIac;
                break;
            case State::InSubnegIac:
                state_ = b == kSe ? State::Data : State::InSubneg;
                break;
        }
    }
    return length;
}

}  // namespace tolvi
