// The two ends' answers to Telnet option requests.
#include "engine/TelnetPolicies.h"

namespace tolvi {

TelnetServerPolicy::Offer* TelnetServerPolicy::OfferOf(uint8_t option) {
    if (option == telnet::kEcho)
        return &echo;
    if (option == telnet::kSuppressGoAhead)
        return &suppressGoAhead;
    return nullptr;
}

void TelnetServerPolicy::Offered(uint8_t option) {
    if (Offer* offer = OfferOf(option); offer && *offer == Offer::Off)
        *offer = Offer::Offered;
}

void TelnetServerPolicy::OnOptionRequest(uint8_t command, uint8_t option) {
    using namespace telnet;
    const bool theirs = command == kWill || command == kWont;
    if (events && (option == kBinary || option == kComPort)) {
        bool* agreed = option == kBinary ? (theirs ? &binaryDo : &binaryWill)
                                         : (theirs ? &comPortDo : &comPortWill);
        const bool was = *agreed;
        const bool comPortBefore = ComPort();
        if ((command == kDo || command == kWill) && !was)
            replies.Reply(command == kDo ? kWill : kDo, option);
        *agreed = command == kDo || command == kWill;  // WONT and DONT are not answered
        if (option == kBinary && theirs && was != *agreed)
            events->OnBinaryInput(*agreed);
        if (option == kComPort && ComPort() && !comPortBefore)
            events->OnComPortAgreed();
        return;
    }
    Offer* offer = OfferOf(option);
    if (command == kDo) {
        if (!offer) {
            replies.Reply(kWont, option);
            return;
        }
        // Agreeing to what we offered, or asking again for what is agreed, changes nothing.
        if (*offer == Offer::Off)
            replies.Reply(kWill, option);
        *offer = Offer::Agreed;
    } else if (command == kDont) {
        if (offer)
            *offer = Offer::Off;  // not answered; a later DO is agreed to again
    } else if (command == kWill) {
        replies.Reply(kDont, option);
    }
}

void TelnetServerPolicy::OnCommand(uint8_t command) {
    if (command == telnet::kAyt)
        askedAreYouThere = true;
    if (command == telnet::kBrk && events)
        events->OnBreak();
}

void TelnetServerPolicy::OnSubnegotiation(const uint8_t* body, size_t size) {
    if (events && ComPort() && size > 1 && body[0] == telnet::kComPort)
        events->OnComPortRequest(body + 1, size - 1);
}

bool TelnetServerPolicy::TakeAreYouThere() {
    bool asked = askedAreYouThere;
    askedAreYouThere = false;
    return asked;
}

void TelnetClientPolicy::OnOptionRequest(uint8_t command, uint8_t option) {
    using namespace telnet;
    bool* agreed = option == kEcho              ? &echo
                   : option == kSuppressGoAhead ? &suppressGoAhead
                                                : nullptr;
    if (command == kWill) {
        // The connector's echo and character-at-a-time mode are what a terminal wants.
        if (agreed && !*agreed) {
            *agreed = true;
            replies.Reply(kDo, option);
        } else if (!agreed) {
            replies.Reply(kDont, option);
        }
    } else if (command == kWont) {
        if (agreed && *agreed) {
            *agreed = false;
            replies.Reply(kDont, option);
        }
    } else if (command == kDo) {
        replies.Reply(kWont, option);
    }
}

}  // namespace tolvi
