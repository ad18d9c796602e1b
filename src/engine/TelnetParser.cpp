// The Telnet stream parser (RFC 854 commands, RFC 857/858 answers).
#include "engine/TelnetParser.h"

#include <cstring>

namespace tolvi {
namespace {

constexpr uint8_t kCr = 13;

bool IsOptionCommand(uint8_t c) {
    return c >= telnet::kWill && c <= telnet::kDont;
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

TelnetParser::Offer* TelnetParser::OfferOf(uint8_t option) {
    if (option == telnet::kEcho)
        return &echo_;
    if (option == telnet::kSuppressGoAhead)
        return &suppressGoAhead_;
    return nullptr;
}

void TelnetParser::Offered(uint8_t option) {
    if (Offer* offer = OfferOf(option); offer && *offer == Offer::Off)
        *offer = Offer::Offered;
}

void TelnetParser::AnswerRequest(uint8_t command, uint8_t option, Answers& out) {
    using namespace telnet;
    Offer* offer = OfferOf(option);
    if (command == kDo) {
        if (!offer) {
            out.Answer(kWont, option);
            return;
        }
        // Agreeing to what we offered, or asking again for what is agreed, changes nothing;
        // an answer would only invite another from a client that answers every answer.
        if (*offer == Offer::Off)
            out.Answer(kWill, option);
        *offer = Offer::Agreed;
    } else if (command == kDont) {
        if (offer)
            *offer = Offer::Off;  // not answered, as before; a later DO is agreed to again
    } else if (command == kWill) {
        out.Answer(kDont, option);
    }
}

size_t TelnetParser::Feed(const uint8_t* bytes, size_t count, uint8_t* data, Answers& out) {
    using namespace telnet;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        if (state_ == State::Data) {
            size_t run = PlainRun(bytes + i, count - i);
            if (data + length != bytes + i)  // in place, nothing moves until a command
                std::memmove(data + length, bytes + i, run);
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
