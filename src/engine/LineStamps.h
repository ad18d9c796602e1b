// Time on every line of a console's log: each line begins with the local time its first byte
// came, "2026-12-09 15:41:07.318 ". A line ends at LF (CR LF being one end; a lone CR, as a
// progress bar writes it, ends none); one that has not ended after kLongestLine bytes is cut
// there, and the rest stamped again.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace tolvi {

// The calendar's parts of at, in UTC or local time.
std::tm TimeParts(std::chrono::system_clock::time_point at, bool utc);

// at as strftime's format gives it, in UTC or local time, then "." and its milliseconds.
std::string TimeText(std::chrono::system_clock::time_point at, bool utc, const char* format);

// "15:41:07", in local time.
std::string LocalClock(std::chrono::system_clock::time_point at);

// "2026-12-09 15:41:07.318 ", in local time.
std::string LocalStamp(std::chrono::system_clock::time_point at);

class LineStamps {
  public:
    static constexpr size_t kLongestLine = 64 * 1024;

    // Appends to stamped the console's bytes with a stamp at each line's start, as of now.
    void Stamp(const uint8_t* data, size_t size, std::chrono::system_clock::time_point now,
               std::string* stamped);

  private:
    bool atLineStart = true;
    size_t lineLength = 0;  // bytes of the line begun, its stamp left out
};

}  // namespace tolvi
