// RFC 2217, Telnet's COM port option, as a port without wires answers it: a client (pyserial's
// rfc2217://, labgrid, a COM-port redirector) sets a baud rate, a frame, flow control and its
// lines, and reads them back as set; nothing of it reaches the pipe, which has none of them.
// Purges and breaks are the connector's to carry out; the modem lines say whether the pipe is
// there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvi {

// The line as the COM-port clients of one connector have set it; a port's usual start until
// one does.
struct SerialLine {
    uint32_t baudRate = 115200;
    uint8_t dataSize = 8;
    uint8_t parity = 1;         // 1 none, 2 odd, 3 even, 4 mark, 5 space
    uint8_t stopSize = 1;       // 1, 2, or 3 for one and a half
    uint8_t outboundFlow = 1;   // 1 none, 2 XON/XOFF, 3 hardware, 17 DCD, 19 DSR
    uint8_t inboundFlow = 14;   // 14 none, 15 XON/XOFF, 16 hardware, 18 DTR
    bool dtr = true;
    bool rts = true;
    bool breakOn = false;
};

bool operator==(const SerialLine& a, const SerialLine& b);

// "9600 7E1, no flow control", "115200 8N1.5, XON/XOFF".
std::string SerialLineText(const SerialLine& line);

// What a request asks of the connector besides its answer.
struct ComPortEffects {
    bool purgeFromPipe = false;  // what waits to be sent to the client
    bool purgeToPipe = false;    // what waits to be written to the pipe
    bool breakAsked = false;
    bool lineChanged = false;
};

// One client's side of the option: the notifications it asked for.
class ComPortSession {
  public:
    // Answers one request, given without IAC SB and the option byte (its code, then its
    // value), about line: appends the whole answer (IAC SB 44, the code plus 100, the value,
    // IAC SE, every 255 in it doubled) to answer. pipeUp: whether the pipe is attached, for a
    // request of the modem state.
    void Request(const uint8_t* request, size_t size, SerialLine& line, bool pipeUp,
                 std::string* answer, ComPortEffects* effects);
    // The modem lines as a notification: DSR, CTS and CD up while the pipe is attached, and,
    // with changed, the bits that say they changed; "" when the client's mask hides it all.
    std::string ModemState(bool pipeUp, bool changed) const;

  private:
    uint8_t modemMask = 255;  // RFC 2217's defaults
    uint8_t lineMask = 0;
};

}  // namespace tolvi
