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
                  kAyt = 246, kBrk = 243, kSe = 240;
constexpr uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44;
// The longest subnegotiation kept, its option byte included: a longer one is dropped whole,
// and one that never ends costs no more than this.
constexpr size_t kLongestSubnegotiation = 256;
}  // namespace telnet

class TelnetParser {
  public:
    // What the stream holds besides its data, in the order it comes.
    class Listener {
      public:
        virtual ~Listener() = default;
        // IAC WILL, WONT, DO or DONT, and its option.
        virtual void OnOptionRequest(uint8_t command, uint8_t option) = 0;
        // Any other command of two bytes (NOP, GA, AYT and the rest).
        virtual void OnCommand(uint8_t /*command*/) {}
        // IAC SB ... IAC SE, whole: body[0] is the option, a doubled 255 in it one byte.
        virtual void OnSubnegotiation(const uint8_t* /*body*/, size_t /*size*/) {}
    };

    // dropNulAfterCr: a NUL after CR is dropped, CR NUL being how a client sends a bare CR.
    explicit TelnetParser(bool dropNulAfterCr = true)
        : dropNulByDefault(dropNulAfterCr), dropNulAfterCr(dropNulAfterCr) {}

    // Feeds one received chunk and stores its data bytes, without the commands, in data,
    // which must hold count bytes and may be bytes itself; returns how many it stored.
    size_t Feed(const uint8_t* bytes, size_t count, uint8_t* data, Listener& listener);
    // During a listener's call: how many data bytes the running Feed has stored before the
    // command it reports.
    size_t StoredSoFar() const { return stored; }
    // Binary (RFC 856), or a client that sends a serial line's bytes as they are: a NUL after
    // CR is data.
    void SetBinary(bool binary) { dropNulAfterCr = !binary && dropNulByDefault; }

  private:
    void KeepSubnegotiationByte(uint8_t b);

    enum class State {
        Data,         // plain data
        AfterCr,      // plain data, the last byte was CR (a NUL now may be dropped)
        SeenIac,      // IAC seen, command byte next
        SeenOption,   // IAC WILL/WONT/DO/DONT seen, option byte next
        InSubneg,     // inside IAC SB ..., waiting for IAC SE
        InSubnegIac,  // inside a subnegotiation, IAC seen
    };

    const bool dropNulByDefault;
    bool dropNulAfterCr;
    State state = State::Data;
    uint8_t command = 0;
    size_t stored = 0;
    uint8_t subnegotiation[telnet::kLongestSubnegotiation];
    size_t subnegotiationSize = 0;  // past the limit: the rest of it is dropped
};

}  // namespace tolvi
