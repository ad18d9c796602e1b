// The SSH user name picks the console: a port number ("2323") names the connector with that
// port text, a pipe's full name ("\\.\pipe\com1", any case) the connector of that pipe, and
// a short name ("com1") a local pipe of that name alone, not one on another server or in a
// folder of pipes. A key limited by consoles="..." may open only those it names. Any
// other name, one the key may not open included (so that it learns nothing of consoles it
// may not open), gets the list of those it may, from which a port or name can be typed.
#pragma once
#include <string>
#include <vector>

#include "ssh/AuthorizedKeys.h"
#include "ssh/ConsoleDirectory.h"

namespace tolvi::ssh {

// The consoles of entries that key may open, in their order.
std::vector<ConsoleEntry> ConsolesFor(const AuthorizedKey& key,
                                      const std::vector<ConsoleEntry>& entries);

// The console among consoles that name picks, or null.
const ConsoleEntry* PickConsole(const std::string& name, const std::vector<ConsoleEntry>& consoles);

// "No console named NAME." and a line break.
std::string NoSuchConsole(const std::string& name);

// "No console named NAME. Consoles you may open:" and a line for each (port, pipe,
// description, status), then the prompt; lines end in CR LF, as a terminal wants them.
std::string ConsoleList(const std::string& name, const std::vector<ConsoleEntry>& consoles);

// The line typed after the list: printable characters kept and echoed (when the client's
// terminal does not echo them itself), backspace taken back, Enter ends it. Ctrl-C, Ctrl-D,
// Escape or a line longer than kMaxLine end it as given up.
class TypedLine {
  public:
    static constexpr size_t kMaxLine = 80;
    enum class State { Typing, Done, GivenUp };

    explicit TypedLine(bool echo) : echo(echo) {}
    // Takes what the client sent; appends to *shown what its terminal should show.
    State Feed(const char* data, size_t size, std::string* shown);
    const std::string& Text() const { return text; }

  private:
    bool echo;
    State state = State::Typing;
    std::string text;
};

}  // namespace tolvi::ssh
