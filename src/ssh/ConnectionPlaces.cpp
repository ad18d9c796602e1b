// Counting the places of connections that have not logged in and of sessions.
#include "ssh/ConnectionPlaces.h"

#include <algorithm>

namespace tolvi::ssh {

constexpr size_t ConnectionPlaces::kPerSource;
constexpr size_t ConnectionPlaces::kMaxSessions;
constexpr std::chrono::seconds ConnectionPlaces::kReportEvery;
constexpr std::chrono::seconds ConnectionPlaces::kGather;

namespace {

// The sources named in a report are counted up to this many; a flood from more of them is
// still counted in all.
constexpr size_t kMostSourcesCounted = 1024;

}  // namespace

ConnectionPlaces::Entry ConnectionPlaces::Enter(const std::string& source, int chance) {
    std::lock_guard<std::mutex> guard(lock);
    if (sessions >= kMaxSessions) {
        Closed();
        ++overSessions;
        return Entry::SessionsFull;
    }
    auto it = waitingFrom.find(source);
    if (it != waitingFrom.end() && it->second >= kPerSource) {
        Closed();
        ++overSource;
        auto counted = overFrom.find(source);
        if (counted != overFrom.end())
            ++counted->second;
        else if (overFrom.size() < kMostSourcesCounted)
            overFrom.emplace(source, 1);
        return Entry::SourceFull;
    }
    if (waiting >= kDropFrom) {
        // From kDropChanceAtFrom percent at kDropFrom waiting to all of them at kDropAll.
        size_t over = std::min(waiting, kDropAll) - kDropFrom;
        int percent = kDropChanceAtFrom +
                      static_cast<int>(over * (100 - kDropChanceAtFrom) / (kDropAll - kDropFrom));
        if (chance < percent) {
            Closed();
            ++dropped;
            return Entry::Dropped;
        }
    }
    ++waitingFrom[source];
    ++waiting;
    return Entry::Admitted;
}

bool ConnectionPlaces::LogIn(const std::string& source) {
    std::lock_guard<std::mutex> guard(lock);
    if (sessions >= kMaxSessions)
        return false;
    auto it = waitingFrom.find(source);
    if (it != waitingFrom.end() && --it->second == 0)
        waitingFrom.erase(it);
    --waiting;
    ++sessions;
    return true;
}

void ConnectionPlaces::Leave(const std::string& source, bool loggedIn) {
    std::lock_guard<std::mutex> guard(lock);
    if (loggedIn) {
        --sessions;
        return;
    }
    auto it = waitingFrom.find(source);
    if (it != waitingFrom.end() && --it->second == 0)
        waitingFrom.erase(it);
    --waiting;
}

size_t ConnectionPlaces::Waiting() const {
    std::lock_guard<std::mutex> guard(lock);
    return waiting;
}

size_t ConnectionPlaces::Sessions() const {
    std::lock_guard<std::mutex> guard(lock);
    return sessions;
}

void ConnectionPlaces::Closed() {
    if (overSource + dropped + overSessions == 0)
        firstClosed = Clock::now();
}

ConnectionPlaces::Clock::time_point ConnectionPlaces::Due() const {
    if (overSource + dropped + overSessions == 0)
        return Clock::time_point{};
    Clock::time_point due = firstClosed + kGather;
    return reported ? std::max(due, lastReport + kReportEvery) : due;
}

ConnectionPlaces::Clock::time_point ConnectionPlaces::ReportDue() const {
    std::lock_guard<std::mutex> guard(lock);
    return Due();
}

std::string ConnectionPlaces::Report(Clock::time_point now) {
    std::lock_guard<std::mutex> guard(lock);
    size_t closed = overSource + dropped + overSessions;
    if (closed == 0 || now < Due())
        return "";
    std::string parts;
    auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
    if (overSource > 0) {
        auto busiest = std::max_element(overFrom.begin(), overFrom.end(),
                                        [](auto& a, auto& b) { return a.second < b.second; });
        add(std::to_string(overSource) + " beyond " + std::to_string(kPerSource) +
            " not logged in from one address" +
            (busiest == overFrom.end()
                 ? std::string()
                 : " (most from " + busiest->first + ": " + std::to_string(busiest->second) + ")"));
    }
    if (dropped > 0)
        add(std::to_string(dropped) + " at random beyond " + std::to_string(kDropFrom) +
            " not logged in in all");
    if (overSessions > 0)
        add(std::to_string(overSessions) + " beyond " + std::to_string(kMaxSessions) + " sessions");
    std::string line =
        "SSH: " + std::to_string(closed) + (closed == 1 ? " connection" : " connections") +
        " closed at once: " + parts + "; " + std::to_string(waiting) + " not logged in now";
    overSource = dropped = overSessions = 0;
    overFrom.clear();
    lastReport = now;
    reported = true;
    return line;
}

}  // namespace tolvi::ssh
