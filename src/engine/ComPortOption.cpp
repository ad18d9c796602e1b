// Answers to the COM port option's requests (RFC 2217).
#include "engine/ComPortOption.h"

#include "engine/Format.h"
#include "engine/TelnetParser.h"

#ifndef TOLVI_VERSION
#define TOLVI_VERSION "0"
#endif

namespace tolvi {
namespace {

// The requests' codes; each answer's is the request's plus kAnswer.
enum : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
    kAnswer = 100,
};

// The modem state's bits: carrier detect, data set ready, clear to send, and their changes.
constexpr uint8_t kLinesUp = 0x80 | 0x20 | 0x10;
constexpr uint8_t kLinesChanged = 0x08 | 0x02 | 0x01;
// An idle port's line state: both transmit registers empty.
constexpr uint8_t kIdleLine = 0x40 | 0x20;

void Answer(std::string* out, uint8_t code, const uint8_t* value, size_t size) {
    using namespace telnet;
    out->append({static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                 static_cast<char>(code + kAnswer)});
    for (size_t i = 0; i < size; ++i) {
        out->push_back(static_cast<char>(value[i]));
        if (value[i] == kIac)
            out->push_back(static_cast<char>(kIac));
    }
    out->append({static_cast<char>(kIac), static_cast<char>(kSe)});
}

void Answer(std::string* out, uint8_t code, uint8_t value) {
    Answer(out, code, &value, 1);
}

// A new value when it is one the request may set; 0 asks for the current one.
void Take(uint8_t asked, uint8_t low, uint8_t high, uint8_t* field) {
    if (asked >= low && asked <= high)
        *field = asked;
}

// SET-CONTROL: the value that says the current state of what value asks or sets.
uint8_t Control(uint8_t value, SerialLine& line, ComPortEffects* effects) {
    switch (value) {
        case 0:
            return line.outboundFlow;
        case 1: case 2: case 3: case 17: case 19:
            return line.outboundFlow = value;
        case 4:
            return line.breakOn ? 5 : 6;
        case 5: case 6:
            line.breakOn = value == 5;
            effects->breakAsked = effects->breakAsked || line.breakOn;
            return value;
        case 7:
            return line.dtr ? 8 : 9;
        case 8: case 9:
            line.dtr = value == 8;
            return value;
        case 10:
            return line.rts ? 11 : 12;
        case 11: case 12:
            line.rts = value == 11;
            return value;
        case 13:
            return line.inboundFlow;
        case 14: case 15: case 16: case 18:
            return line.inboundFlow = value;
        default:
            return value;  // nothing a port of ours knows: taken as said, and nothing changes
    }
}

}  // namespace

bool operator==(const SerialLine& a, const SerialLine& b) {
    return a.baudRate == b.baudRate && a.dataSize == b.dataSize && a.parity == b.parity &&
           a.stopSize == b.stopSize && a.outboundFlow == b.outboundFlow &&
           a.inboundFlow == b.inboundFlow && a.dtr == b.dtr && a.rts == b.rts &&
           a.breakOn == b.breakOn;
}

std::string SerialLineText(const SerialLine& line) {
    static const char kParity[] = "?NOEMS";
    const char* stop = line.stopSize == 2 ? "2" : line.stopSize == 3 ? "1.5" : "1";
    const char* flow = line.outboundFlow == 2    ? "XON/XOFF"
                       : line.outboundFlow == 3  ? "RTS/CTS"
                       : line.outboundFlow == 17 ? "DCD flow control"
                       : line.outboundFlow == 19 ? "DSR flow control"
                                                 : "no flow control";
    std::string text = Format("%lu %d%c%s, %s", static_cast<unsigned long>(line.baudRate),
                              line.dataSize, kParity[line.parity <= 5 ? line.parity : 0], stop,
                              flow);
    if (!line.dtr)
        text += ", DTR off";
    if (!line.rts)
        text += ", RTS off";
    if (line.breakOn)
        text += ", break";
    return text;
}

void ComPortSession::Request(const uint8_t* request, size_t size, SerialLine& line, bool pipeUp,
                             std::string* answer, ComPortEffects* effects) {
    if (size == 0)
        return;
    const uint8_t code = request[0];
    const uint8_t* value = request + 1;
    const size_t length = size - 1;
    const SerialLine before = line;
    if (code == kSignature) {
        // An empty one asks for ours; one with text is the client's own, for us to note.
        if (length == 0) {
            const std::string ours = "tolvi " TOLVI_VERSION;
            Answer(answer, code, reinterpret_cast<const uint8_t*>(ours.data()), ours.size());
        }
        return;
    }
    if (code == kNotifyLineState || code == kNotifyModemState) {
        // Asked outright, the state is told whatever the masks say.
        Answer(answer, code, code == kNotifyLineState ? kIdleLine : pipeUp ? kLinesUp : 0);
        return;
    }
    if (length == 0)
        return;  // every other request has a value; one without is no request
    switch (code) {
        case kSetBaudRate: {
            if (length < 4)
                return;
            uint32_t rate = static_cast<uint32_t>(value[0]) << 24 |
                            static_cast<uint32_t>(value[1]) << 16 |
                            static_cast<uint32_t>(value[2]) << 8 | value[3];
            if (rate != 0)
                line.baudRate = rate;
            const uint8_t now[4] = {
                static_cast<uint8_t>(line.baudRate >> 24), static_cast<uint8_t>(line.baudRate >> 16),
                static_cast<uint8_t>(line.baudRate >> 8), static_cast<uint8_t>(line.baudRate)};
            Answer(answer, code, now, sizeof now);
            break;
        }
        case kSetDataSize:
            Take(value[0], 5, 8, &line.dataSize);
            Answer(answer, code, line.dataSize);
            break;
        case kSetParity:
            Take(value[0], 1, 5, &line.parity);
            Answer(answer, code, line.parity);
            break;
        case kSetStopSize:
            Take(value[0], 1, 3, &line.stopSize);
            Answer(answer, code, line.stopSize);
            break;
        case kSetControl:
            Answer(answer, code, Control(value[0], line, effects));
            break;
        case kSetLineStateMask:
            lineMask = value[0];
            Answer(answer, code, lineMask);
            break;
        case kSetModemStateMask:
            modemMask = value[0];
            Answer(answer, code, modemMask);
            break;
        case kPurgeData:
            // 1: what the port received and has not yet passed on (the pipe's data on its way
            // to the client); 2: what it was given to send (the client's on its way to the
            // pipe); 3: both.
            effects->purgeFromPipe = effects->purgeFromPipe || value[0] == 1 || value[0] == 3;
            effects->purgeToPipe = effects->purgeToPipe || value[0] == 2 || value[0] == 3;
            Answer(answer, code, value[0]);
            break;
        default:
            break;  // the flow control notices and anything unknown: TCP holds back for us
    }
    if (!(line == before))
        effects->lineChanged = true;
}

std::string ComPortSession::ModemState(bool pipeUp, bool changed) const {
    uint8_t state = static_cast<uint8_t>((pipeUp ? kLinesUp : 0) | (changed ? kLinesChanged : 0));
    state &= modemMask;
    std::string out;
    if (state != 0 || !changed)
        Answer(&out, kNotifyModemState, state);
    return out;
}

}  // namespace tolvi
