// A console's output watched for its alert patterns, off the relay's path: the worker hands
// over what the pipe sends and goes on at once; a thread of the watcher's own cuts it into
// lines (escape sequences taken out, at most kLongestLine of each), matches them, and tells of
// a match at most once per pattern in the quiet time, counting the rest into the next. What a
// console prints faster than its lines are matched is left unwatched, never held up: the lines
// it held are counted and told, at most once in kSkipTellTime.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/AlertPatterns.h"
#include "platform/Thread.h"

namespace tolvi {

struct ConsoleAlert {
    std::string pattern;  // as written
    std::string line;     // the console's line, without its escape sequences
    int more = 0;         // matches of the pattern left untold since the last alert of it
    std::chrono::system_clock::time_point at;
};

// Which matches are told: one per pattern in the quiet time, the others counted.
class AlertLimiter {
  public:
    static constexpr std::chrono::seconds kQuietTime{10};
    using Clock = std::chrono::steady_clock;

    explicit AlertLimiter(size_t patterns = 0, Clock::duration quiet = kQuietTime)
        : quietTime(quiet), last(patterns), untold(patterns, 0) {}
    // True when a match of pattern at now is to be told; *more says how many were not.
    bool Tell(size_t pattern, Clock::time_point now, int* more);

  private:
    Clock::duration quietTime;
    std::vector<Clock::time_point> last;  // the last told, or the epoch
    std::vector<int> untold;
};

// A console's line as the patterns see it: escape sequences (CSI, OSC, DCS, SOS, PM, APC and
// the short ones, begun by ESC or by their C1 control, raw or in UTF-8) and every other control
// but tabs taken out. Other bytes stay as they are.
std::string PlainLine(const std::string& raw);

// "1,234 lines not matched, the console is faster than its patterns": how the lines left
// unwatched are told, in the status lines, the event log and the window.
std::string SkippedLinesText(uint64_t lines);

class AlertWatcher {
  public:
    static constexpr size_t kLongestLine = 4096;
    // How long a line begun waits for its end before it is matched as it stands.
    static constexpr std::chrono::milliseconds kPromptTime{1000};
    // What waits to be watched, at most: a console that prints faster than the patterns can be
    // matched loses lines to the watch, never time to the relay.
    static constexpr size_t kMostWaiting = 4u << 20;
    // Lines left unwatched are told at most this often, the ones since counted into the next.
    static constexpr std::chrono::seconds kSkipTellTime{60};

    using Teller = std::function<void(const ConsoleAlert&)>;
    // The lines left unwatched since the last call.
    using SkipTeller = std::function<void(uint64_t lines)>;
    AlertWatcher() = default;
    ~AlertWatcher() { Stop(); }
    AlertWatcher(const AlertWatcher&) = delete;
    AlertWatcher& operator=(const AlertWatcher&) = delete;

    // Starts watching for patterns, telling each alert through tell and lines left unwatched
    // through skipped (on the watcher's thread). False when no thread could be made.
    bool Start(std::vector<AlertPattern> patterns, Teller tell, SkipTeller skipped = {},
               AlertLimiter::Clock::duration quietTime = AlertLimiter::kQuietTime);
    void Stop();
    bool Running() const { return thread.Joinable(); }
    // From the relay: the console's output, taken as it is; returns at once.
    void Feed(const uint8_t* data, size_t size);
    // From any thread: the lines left unwatched since the watch started.
    uint64_t SkippedLines() const { return skipped.load(std::memory_order_relaxed); }
    // From any thread: the bytes that wait to be watched.
    size_t Waiting() const;

  private:
    using Clock = AlertLimiter::Clock;
    static void Run(void* self);
    void Wait(std::unique_lock<std::mutex>& hold);
    void Watch(const std::string& chunk);
    void Match(const std::string& line);
    void TellSkipped(Clock::time_point now);

    AlertMatcher matcher;
    Teller tell;
    SkipTeller tellSkipped;
    AlertLimiter limiter;
    platform::WorkerThread thread;
    mutable std::mutex lock;
    std::condition_variable news;
    // Guarded by lock: what waits, and whether the console's bytes after it were dropped
    // (nothing more is taken until the watcher has had what waits), the last of them a line's
    // end or not.
    std::string waiting;
    bool stopping = false;
    bool dropping = false;
    bool droppedAtLineEnd = false;
    std::atomic<uint64_t> skipped{0};  // lines of the bytes dropped; written under lock
    std::atomic<bool> stopRequested{false};
    // The watcher thread's own.
    std::string line;        // the line being assembled
    size_t lineMatched = 0;  // how much of it was matched already, as a prompt
    bool lineTooLong = false;
    bool skipToLineEnd = false;  // the start of the line at hand was dropped
    Clock::time_point lastData;  // when the last bytes came
    uint64_t skippedTold = 0;
    Clock::time_point skipToldAt;
    bool skipToldOnce = false;
    std::vector<int> matched;
};

}  // namespace tolvi
