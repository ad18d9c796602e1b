// The keys of the terminal console: everything typed goes to the console but Ctrl+] and the
// key after it, which speak to the console program itself (q leaves, w asks who is on, a
// second Ctrl+] sends one). The state lives across reads: Ctrl+] may end one, its key begin
// the next.
#pragma once
#include <string>
#include <vector>

namespace tolvi::console {

constexpr char kEscapeKey = 0x1D;  // Ctrl+]

struct KeyEvent {
    enum class Kind { Typed, Leave, WhoIsOn, Help };
    Kind kind = Kind::Typed;
    std::string typed;  // Typed: the bytes for the console
};

class EscapeKeys {
  public:
    // What keys mean, in the order typed; typed bytes between commands come as one event.
    std::vector<KeyEvent> Feed(const std::string& keys);

  private:
    bool escaped = false;  // Ctrl+] was the last key
};

// The line that says what the keys after Ctrl+] do.
extern const char kEscapeHelp[];

}  // namespace tolvi::console
