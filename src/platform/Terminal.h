// The terminal a console program runs in, taken over for a remote console: every key as it is
// typed (no echo, no line editing, no signal keys), UTF-8 both ways, and everything it changed
// given back when it is let go.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "platform/WakeSignal.h"

namespace tolvi::platform {

class Terminal {
  public:
    Terminal();
    // Lets the terminal go (Release).
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Takes over standard input and output: raw keys when standard input is a terminal (a
    // console on Windows, with virtual terminal input), terminal sequences and UTF-8 on a
    // console's output, and a reader of its own for what is typed or piped in. Returns ""
    // or one line on what the terminal would not do; the relay goes on either way.
    std::string Take();
    // Whether the keys come raw, as Take left them.
    bool KeysRaw() const;
    // Ends the reader and puts back every mode and code page Take changed; again does nothing.
    void Release();

    // Set while typed bytes wait to be taken, or once the input has ended.
    WakeSignal& InputWaiting();
    // What was typed or piped in since the last call; ended once nothing more will come.
    std::string TakeInput(bool* ended);

    // Writes everything, as it comes (a character cut between two calls is whole on screen);
    // false once the output has gone (a closed pipe, a terminal that was hung up).
    bool Write(const char* data, size_t size);

    struct State;

  private:
    std::shared_ptr<State> state;  // shared with the reader, which may outlive this object
};

// Text of the program's own on standard error, UTF-8, shown as such whatever code page the
// console has (messages before or after the terminal is taken over).
void WriteMessage(const std::string& text);

}  // namespace tolvi::platform
