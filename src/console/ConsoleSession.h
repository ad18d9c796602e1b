// One terminal's session with one console: the terminal taken over, the console's output
// shown as it comes and the keys sent as they are typed, as a Telnet client would (or byte for
// byte to a raw connector), until the user leaves, the console closes the connection, the
// input ends or an interrupt comes; the terminal is given back on every one of those ways.
#pragma once
#include "console/ConsoleTarget.h"

namespace tolvi::console {

// The program's exit code: 0 after leaving, the console's close, the input's end or an
// interrupt; 1 when the connection could not be made or broke, or the output went away.
int RunConsoleSession(const ConsoleTarget& target);

}  // namespace tolvi::console
