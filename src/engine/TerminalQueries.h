// The questions a console asks its terminal (where is the cursor, what terminal is this, what
// colour is this, is this mode set), which the terminal answers by typing into the console.
// A replay must not carry them: a client that joins would answer old questions into the live
// console, and at a login prompt the answer becomes the user name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvi {

// Passes a byte stream on without its terminal queries, exactly as it is otherwise. A
// sequence that a chunk cuts in two is held until the chunk that completes it; one that
// cannot be a query any more is passed on as soon as that is known.
class TerminalQueryFilter {
  public:
    // Appends to kept what of size bytes is not a query.
    void Feed(const uint8_t* data, size_t size, std::string* kept);

  private:
    enum class State {
        Text,
        Escape,         // after ESC
        Csi,            // ESC [ parameters and intermediates, until the final byte
        String,         // ESC ] (OSC) or ESC P (DCS), until its terminator
        StringEscape,   // an ESC inside a string: ESC \ ends it
        PassCsi,        // too long to be a query: passed on until its end
        PassString,
        PassStringEscape,
    };
    // The sequence held is complete: dropped when it is a query, passed on otherwise.
    void Finish(std::string* kept);
    // The sequence held cannot be a query: it goes on as it is.
    void Release(std::string* kept);
    bool HeldIsQuery() const;

    State state = State::Text;
    std::string held;          // the sequence in progress, ESC first
    bool stringIsOsc = false;  // a string passed on untested: BEL ends an OSC, not a DCS
};

}  // namespace tolvi
