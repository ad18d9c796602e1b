// What a Telnet client's user types, as it goes to the connector: the web console's bridge and
// the terminal console send it the same way.
#pragma once
#include <cstddef>
#include <string>

namespace tolvi {

// The bytes typed (UTF-8 text, or bytes as they are), as the connector takes them: with
// Telnet, 255 doubled and a CR that no LF follows sent as CR NUL; without, unchanged.
std::string ToConsole(const char* data, size_t size, bool telnet);

}  // namespace tolvi
