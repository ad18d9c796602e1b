// How each end of a Telnet connection answers the other's option requests (RFC 856, 857, 858,
// 1143, 2217). The connector is the server: it offers echo and suppress-go-ahead, agrees to
// binary and, where it is given somewhere to send them, to the COM port option, and refuses
// every other option. The web console's bridge is a client of it: it agrees to echo and
// suppress-go-ahead and refuses the rest. Neither acknowledges a mode already in effect, or two ends that answer
// every answer would answer each other for ever.
#pragma once
#include <cstdint>

#include "engine/TelnetParser.h"

namespace tolvi {

// Where a policy's answers go: IAC command option, to be sent to the other end.
class TelnetReplies {
  public:
    virtual ~TelnetReplies() = default;
    virtual void Reply(uint8_t command, uint8_t option) = 0;
};

// What a server's client asks beyond its options' answers.
class TelnetServerEvents {
  public:
    virtual ~TelnetServerEvents() = default;
    // The client sends binary (RFC 856): a NUL after CR is data.
    virtual void OnBinaryInput(bool binary) = 0;
    // The client agreed to the COM port option (it sent WILL or DO): a serial port's client
    // from now on, with a request or more to follow.
    virtual void OnComPortAgreed() = 0;
    // One request of the option: its code and value, after the option byte.
    virtual void OnComPortRequest(const uint8_t* request, size_t size) = 0;
    // IAC BRK.
    virtual void OnBreak() = 0;
};

class TelnetServerPolicy : public TelnetParser::Listener {
  public:
    // Without events, binary and the COM port option are refused as any other option is.
    explicit TelnetServerPolicy(TelnetReplies& replies, TelnetServerEvents* events = nullptr)
        : replies(replies), events(events) {}
    // We have sent WILL for one of the two options we offer: the client's DO that agrees to
    // it is not answered.
    void Offered(uint8_t option);
    // DO ECHO and DO SUPPRESS-GO-AHEAD get WILL unless the option is already agreed or
    // offered; DO and WILL of BINARY and of the COM port option are agreed to once; any
    // other DO gets WONT, any other WILL gets DONT.
    void OnOptionRequest(uint8_t command, uint8_t option) override;
    // "Are you there?" (IAC AYT) is answered by the connector, with who is on: whether one
    // came since the last time asked.
    void OnCommand(uint8_t command) override;
    bool TakeAreYouThere();
    // COM port requests, while the option is agreed.
    void OnSubnegotiation(const uint8_t* body, size_t size) override;
    bool ComPort() const { return comPortWill || comPortDo; }

  private:
    enum class Offer : uint8_t { Off, Offered, Agreed };
    Offer* OfferOf(uint8_t option);

    TelnetReplies& replies;
    TelnetServerEvents* events;
    bool binaryWill = false, binaryDo = false;      // we send binary; the client does
    bool comPortWill = false, comPortDo = false;
    bool askedAreYouThere = false;
    Offer echo = Offer::Off;
    Offer suppressGoAhead = Offer::Off;
};

class TelnetClientPolicy : public TelnetParser::Listener {
  public:
    explicit TelnetClientPolicy(TelnetReplies& replies) : replies(replies) {}
    // WILL ECHO and WILL SUPPRESS-GO-AHEAD get DO once, any other WILL gets DONT; a WONT of
    // an agreed one gets DONT; every DO gets WONT (a client offers nothing).
    void OnOptionRequest(uint8_t command, uint8_t option) override;

  private:
    TelnetReplies& replies;
    bool echo = false;
    bool suppressGoAhead = false;
};

}  // namespace tolvi
