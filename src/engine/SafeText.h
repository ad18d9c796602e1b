// The one door for text that leaves the process. A console's bytes, a key's comment, a user
// name sent by a stranger: whatever they hold, what goes into JSON, a status line, the event
// log, another client's terminal or a program's environment is valid UTF-8, and a name shows
// its control characters as visible escapes instead of acting on a terminal. Nothing here
// throws or allocates more than a small multiple of its input.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvi {

// bytes as valid UTF-8: well-formed characters as they are, every byte that is not part of one
// (a stray continuation, an overlong form, a surrogate, a code point beyond U+10FFFF, a
// sequence cut short) as U+FFFD, one for each such byte.
std::string ValidUtf8(std::string_view bytes);

// The length of the well-formed UTF-8 character that bytes begin with, or 0 when they begin
// with none.
size_t Utf8CharacterLength(std::string_view bytes);

// ValidUtf8, then every control character (C0, DEL and C1 as U+0080 to U+009F) as a
// visible escape, "\x1b", and at most mostCharacters characters, the cut marked by "...".
std::string EscapedText(std::string_view text, size_t mostCharacters);

// A name as anyone else may see it: a client's, a key's comment, a user name as sent.
constexpr size_t kLongestName = 200;
inline std::string SafeName(std::string_view name) {
    return EscapedText(name, kLongestName);
}

// text with every 255 (Telnet's IAC) doubled, for a Telnet stream.
std::string DoubledIac(std::string_view text);

}  // namespace tolvi
