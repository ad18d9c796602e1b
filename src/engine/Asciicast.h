// The asciicast v2 format, as tolvi writes a console's recording: a header line of JSON with the
// terminal's size, the start and the title, then one event a line, [seconds, "code", "text"]:
// "o" for what the console printed, "i" for what was typed, "m" for a marker. Text is UTF-8:
// a console's other bytes become U+FFFD, and a character cut between two reads is kept whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvi {

// A JSON string literal of text, which must be valid UTF-8: quotes, backslashes and control
// characters escaped, everything else as it is.
void AppendJsonString(std::string* out, std::string_view text);

// {"version": 2, "width": 80, "height": 24, "timestamp": 1765294867, "title": "...", ...}
std::string AsciicastHeader(int width, int height, int64_t timestamp, std::string_view title);

// [12.345678, "o", "text"] and its line end, text already valid UTF-8.
void AppendAsciicastEvent(std::string* out, int64_t micros, char code, std::string_view text);

// Bytes cut anywhere made into valid UTF-8 pieces: the start of a character that the next
// piece may end is held back for it.
class Utf8Stream {
  public:
    void Feed(const uint8_t* data, size_t size, std::string* out);
    // What is held back, as the U+FFFD it now is.
    void Finish(std::string* out);

  private:
    std::string held;
};

}  // namespace tolvi
