// A console's output watched for its alert patterns, off the relay's path: the worker hands
// over what the pipe sends and goes on at once; a thread of the watcher's own cuts it into
// lines (ANSI escape sequences taken out, at most kLongestLine of each), matches them, and
// tells of a match at most once per pattern in kQuietTime, counting the rest into the next.
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

// Which matches are told: one per pattern in kQuietTime, the others counted.
class AlertLimiter {
  public:
    static constexpr std::chrono::seconds kQuietTime{10};
    using Clock = std::chrono::steady_clock;

    explicit AlertLimiter(size_t patterns = 0) : last(patterns), untold(patterns, 0) {}
    // True when a match of pattern at now is to be told; *more says how many were not.
    bool Tell(size_t pattern, Clock::time_point now, int* more);

  private:
    std::vector<Clock::time_point> last;  // the last told, or the epoch
    std::vector<int> untold;
};

// A console's line as the patterns see it: escape sequences (CSI, OSC, DCS and the short
// ones) and other controls but tabs taken out.
std::string PlainLine(const std::string& raw);

class AlertWatcher {
  public:
    static constexpr size_t kLongestLine = 4096;
    // How long a line begun waits for its end before it is matched as it stands.
    static constexpr std::chrono::milliseconds kPromptTime{1000};
    // What waits to be watched, at most: a console that prints faster than the patterns can be
    // matched loses lines to the watch, never time to the relay.
    static constexpr size_t kMostWaiting = 4u << 20;

    using Teller = std::function<void(const ConsoleAlert&)>;
    AlertWatcher() = default;
    ~AlertWatcher() { Stop(); }
    AlertWatcher(const AlertWatcher&) = delete;
    AlertWatcher& operator=(const AlertWatcher&) = delete;

    // Starts watching for patterns, telling each alert through tell (on the watcher's
    // thread). False when no thread could be made.
    bool Start(std::vector<AlertPattern> patterns, Teller tell);
    void Stop();
    bool Running() const { return thread.Joinable(); }
    // From the relay: the console's output, taken as it is; returns at once.
    void Feed(const uint8_t* data, size_t size);

  private:
    static void Run(void* self);
    void Watch(const std::string& chunk);
    void Match(const std::string& line);

    std::vector<AlertPattern> patterns;
    Teller tell;
    AlertLimiter limiter;
    platform::WorkerThread thread;
    std::mutex lock;
    std::condition_variable news;
    std::string waiting;  // guarded by lock
    bool stopping = false;
    size_t dropped = 0;   // bytes the watch lost to a console too fast for it; guarded by lock
    std::atomic<bool> stopRequested{false};
    std::string line;       // the watcher thread's line being assembled
    size_t lineMatched = 0;  // how much of it was matched already, as a prompt
    bool lineTooLong = false;
};

}  // namespace tolvi
