// The TCP port is kept as the text the user typed; these read numbers out of it the way the
// C library's atoi does, without its undefined behaviour on overflow.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi {

// Leading white space, an optional sign, then digits up to the first non-digit; 0 when
// there are none. Values beyond the range of int are clamped to it.
int TextToInt(const std::string& text);

// A whole number between blanks and nothing else, at most nine digits; false for any other
// text. Where a number is typed or stored by hand and must be meant as one.
bool ReadWholeNumber(const std::string& text, int* number);

// The port a listener binds for this text: its number when that is a TCP port (1 to 65535);
// false for any other text ("abc", "0", "-23", "65536"), which no dialog lets through.
bool ListenPortFromText(const std::string& text, uint16_t* port);

}  // namespace tolvi
