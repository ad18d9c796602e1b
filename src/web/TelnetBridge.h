// What passes between a connector's Telnet stream and a browser's terminal. Out of the
// connector: Telnet commands taken away (IAC IAC is one 255), the options it offers answered
// as a Telnet client answers them, and the bytes made into text a WebSocket may carry. Into
// it: 255 doubled and CR sent as Telnet sends it. A raw connector's bytes pass as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/TelnetParser.h"
#include "engine/TelnetPolicies.h"
#include "engine/TelnetTyping.h"  // ToConsole: what the browser typed, for the connector

namespace tolvi::web {

// Bytes as UTF-8 text: valid UTF-8 passes unchanged, and any byte that is not part of it
// stands for its Latin-1 character, so a console that writes 8-bit text, or a stray 255,
// still shows every byte. A character split between two chunks is held until the next.
class TextFromBytes {
  public:
    void Feed(const uint8_t* bytes, size_t count, std::string* text);
    // The end of the stream: bytes held for a character that never came whole.
    void Finish(std::string* text);

  private:
    void Convert(const uint8_t* bytes, size_t count, std::string* text);

    uint8_t held[4] = {};
    size_t heldCount = 0;
    std::vector<uint8_t> joined;  // a held character and the chunk that follows it
};

class FromConsole {
  public:
    explicit FromConsole(bool telnet) : speaksTelnet(telnet) {}
    FromConsole(const FromConsole&) = delete;
    FromConsole& operator=(const FromConsole&) = delete;

    // Appends to text what the terminal shows of count received bytes, and to answers the
    // replies the connector is owed.
    void Feed(const uint8_t* bytes, size_t count, std::string* text, std::string* answers);
    void Finish(std::string* text) { toText.Finish(text); }

  private:
    // The answers of one Feed go to the string it was given.
    struct StringReplies : TelnetReplies {
        void Reply(uint8_t command, uint8_t option) override;
        std::string* to = nullptr;
    };

    bool speaksTelnet;
    TelnetParser parser{false};  // the connector's output: a NUL after CR is data
    StringReplies replies;
    TelnetClientPolicy policy{replies};
    std::vector<uint8_t> chunkData;  // one chunk's data, reused
    TextFromBytes toText;
};

}  // namespace tolvi::web
