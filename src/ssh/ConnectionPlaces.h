// The server's places for connections, so that strangers who never log in cannot keep out
// the people who can. A connection that has not logged in yet takes one of the places for
// such connections: at most kPerSource from one source (an address, an IPv6 /64) and, from
// kDropFrom of them in all, each new one is dropped at random, with a chance that rises
// from kDropChanceAtFrom percent to all of them at kDropAll, so that a flood from one place
// never fills the places of the others. A connection that has logged in leaves those places
// for one of the kMaxSessions of sessions. What was closed at once is told in one line a
// minute at most, with its counts. Shared by the accepting thread and the sessions' threads.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace tolvi::ssh {

class ConnectionPlaces {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kPerSource = 10;
    static constexpr size_t kDropFrom = 30;
    static constexpr size_t kDropAll = 100;
    static constexpr int kDropChanceAtFrom = 30;  // percent
    static constexpr size_t kMaxSessions = 64;
    static constexpr std::chrono::seconds kReportEvery{60};
    // A report waits this long after the first connection it tells of, to tell of its burst.
    static constexpr std::chrono::seconds kGather{2};

    enum class Entry { Admitted, SourceFull, Dropped, SessionsFull };

    // A new connection from source; chance, 0 to 99, is the die the random drop is cast with.
    // Admitted: it holds a place until it logs in or ends. Otherwise it is to be closed at
    // once, and is counted for the report.
    Entry Enter(const std::string& source, int chance);
    // An admitted connection logged in: false, and it stays where it was, when every
    // session's place is taken.
    bool LogIn(const std::string& source);
    // An admitted connection ended, logged in or not.
    void Leave(const std::string& source, bool loggedIn);

    size_t Waiting() const;   // not logged in yet
    size_t Sessions() const;  // logged in

    // The line to tell now, or "": what was closed at once since the last line, kGather after
    // the first of it, and kReportEvery after the last line at the soonest.
    std::string Report(Clock::time_point now = Clock::now());
    // When a report that is held back is due; the epoch when nothing is held back.
    Clock::time_point ReportDue() const;

  private:
    mutable std::mutex lock;
    std::map<std::string, size_t> waitingFrom;  // sources with connections not logged in
    size_t waiting = 0;
    size_t sessions = 0;
    // Closed at once since the last report.
    size_t overSource = 0, dropped = 0, overSessions = 0;
    std::map<std::string, size_t> overFrom;  // by source, for the busiest one
    Clock::time_point firstClosed{};         // of those the next report tells
    Clock::time_point lastReport{};
    bool reported = false;
    void Closed();
    Clock::time_point Due() const;
};

}  // namespace tolvi::ssh
