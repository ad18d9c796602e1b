// How each end of a Telnet connection answers the other's option requests (RFC 857, 858,
// 1143). The connector is the server: it offers echo and suppress-go-ahead and refuses every
// other option. The web console's bridge is a client of it: it agrees to those two and
// refuses the rest. Neither acknowledges a mode already in effect, or two ends that answer
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

class TelnetServerPolicy : public TelnetParser::Listener {
  public:
    explicit TelnetServerPolicy(TelnetReplies& replies) : replies(replies) {}
    // We have sent WILL for one of the two options we offer: the client's DO that agrees to
    // it is not answered.
    void Offered(uint8_t option);
    // DO ECHO and DO SUPPRESS-GO-AHEAD get WILL unless the option is already agreed or
    // offered, any other DO gets WONT, any WILL gets DONT.
    void OnOptionRequest(uint8_t command, uint8_t option) override;
    // "Are you there?" (IAC AYT) is answered by the connector, with who is on: whether one
    // came since the last time asked.
    void OnCommand(uint8_t command) override;
    bool TakeAreYouThere();

  private:
    enum class Offer : uint8_t { Off, Offered, Agreed };
    Offer* OfferOf(uint8_t option);

    TelnetReplies& replies;
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
