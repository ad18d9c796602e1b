// Telnet (RFC 854) as a stream parser for both ends of a connection: its state lives as long as
// the connection, so a command split over two receives is still a command. It reports data,
// commands and option requests; how requests are answered is a policy of each end's own
// (TelnetPolicies.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace tolvi {

namespace telnet {
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kAyt = 246, kSe = 240;
constexpr uint8_t kEcho = 1, kSuppressGoAhead = 3;
}  // namespace telnet

class TelnetParser {
  public:
    // What the stream holds besides its data, in the order it comes.
    class Listener {
      public:
        virtual ~Listener() = default;
        // IAC WILL, WONT, DO or DONT, and its option.
        virtual void OnOptionRequest(uint8_t command, uint8_t option) = 0;
        // Any other command of two bytes (NOP, GA, AYT and the rest); subnegotiations are
        // taken out whole and not reported.
        virtual void OnCommand(uint8_t /*command*/) {}
    };

    // dropNulAfterCr: a NUL after CR is dropped, CR NUL being how a client sends a bare CR.
    explicit TelnetParser(bool dropNulAfterCr = true) : dropNulAfterCr(dropNulAfterCr) {}

    // Feeds one received chunk and stores its data bytes, without the commands, in data,
    // which must hold count bytes and may be bytes itself; returns how many it stored.
    size_t Feed(const uint8_t* bytes, size_t count, uint8_t* data, Listener& listener);

  private:
    enum class State {
        Data,         // plain data
        AfterCr,      // plain data, the last byte was CR (a NUL now may be dropped)
        SeenIac,      // IAC seen, command byte next
        SeenOption,   // IAC WILL/WONT/DO/DONT seen, option byte next
        InSubneg,     // inside IAC SB ..., waiting for IAC SE
        InSubnegIac,  // inside a subnegotiation, IAC seen
    };

    const bool dropNulAfterCr;
    State state = State::Data;
    uint8_t command = 0;
};

}  // namespace tolvi
