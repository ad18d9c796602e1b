// The TCP port is kept as the text the user typed; these read numbers out of it the way the
// C library's atoi does, without its undefined behaviour on overflow.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi {

// Leading white space, an optional sign, then digits up to the first non-digit; 0 when
// there are none. Values beyond the range of int are clamped to it.
int TextToInt(const std::string& text);

// The port a listener binds for this text: the number's low 16 bits ("abc" gives 0, which
// lets the system choose; 65537 gives 1).
uint16_t PortNumberFromText(const std::string& text);

}  // namespace tolvi
