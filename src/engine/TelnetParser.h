// The Telnet side of a client connection, as a stream parser: its state lives as long as the
// client's turn, so a command split over two receives is still a command.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tolvi {

namespace telnet {
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kEcho = 1, kSuppressGoAhead = 3;
}  // namespace telnet

class TelnetParser {
  public:
    // Where the answers to the client's option requests go, in the order of the requests.
    struct Answers {
        virtual ~Answers() = default;
        virtual void Answer(uint8_t command, uint8_t option) = 0;
    };

    // Feeds one received chunk and stores its data bytes, without the commands, in data,
    // which must hold count bytes and may be bytes itself; returns how many it stored. Option
    // requests are answered: DO ECHO and DO SUPPRESS-GO-AHEAD with WILL unless the option is
    // already agreed or offered (RFC 1143: a mode in effect is not acknowledged again), any other
    // DO with WONT, any WILL with DONT.
    size_t Feed(const uint8_t* bytes, size_t count, uint8_t* data, Answers& answers);

    // We have sent WILL for one of the two options we offer: the client's DO that agrees to
    // it is not answered.
    void Offered(uint8_t option);

  private:
    enum class State {
        Data,         // plain data
        AfterCr,      // plain data, the last byte was CR (a NUL now is dropped)
        SeenIac,      // IAC seen, command byte next
        SeenOption,   // IAC WILL/WONT/DO/DONT seen, option byte next
        InSubneg,     // inside IAC SB ..., waiting for IAC SE
        InSubnegIac,  // inside a subnegotiation, IAC seen
    };
    // Where one of our options stands with the client.
    enum class Offer : uint8_t { Off, Offered, Agreed };
    Offer* OfferOf(uint8_t option);
    void AnswerRequest(uint8_t command, uint8_t option, Answers& out);

    State state_ = State::Data;
    uint8_t command_ = 0;
    Offer echo_ = Offer::Off;
    Offer suppressGoAhead_ = Offer::Off;
};

}  // namespace tolvi
