// Counting failed logins per address and the wait they earn.
#include "ssh/LoginPacer.h"

#include <algorithm>

namespace tolvi::ssh {

constexpr std::chrono::seconds LoginPacer::kWindow;
constexpr std::chrono::seconds LoginPacer::kMaxDelay;

void LoginPacer::Forget(Clock::time_point now) {
    for (auto it = records.begin(); it != records.end();) {
        if (now - it->second.last >= kWindow)
            it = records.erase(it);
        else
            ++it;
    }
    while (records.size() >= kMaxAddresses) {
        auto oldest = std::min_element(records.begin(), records.end(), [](auto& a, auto& b) {
            return a.second.last < b.second.last;
        });
        records.erase(oldest);
    }
}

LoginPacer::Report LoginPacer::Failure(const std::string& address, Clock::time_point now) {
    std::lock_guard<std::mutex> guard(lock);
    auto it = records.find(address);
    if (it == records.end() || now - it->second.last >= kWindow) {
        if (it != records.end())
            records.erase(it);
        Forget(now);
        it = records.emplace(address, Record{}).first;
    }
    Record& record = it->second;
    record.last = now;
    ++record.failures;
    if (record.failures == 1)
        return Report::FirstFailure;
    return record.failures == kFreeFailures ? Report::NowPaced : Report::Quiet;
}

void LoginPacer::Success(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock);
    records.erase(address);
}

std::chrono::milliseconds LoginPacer::Delay(const std::string& address, Clock::time_point now) {
    std::lock_guard<std::mutex> guard(lock);
    auto it = records.find(address);
    if (it == records.end() || now - it->second.last >= kWindow ||
        it->second.failures < kFreeFailures)
        return std::chrono::milliseconds(0);
    int doublings = std::min(it->second.failures - kFreeFailures, 4);
    return std::min<std::chrono::milliseconds>(std::chrono::seconds(1) * (1 << doublings),
                                               kMaxDelay);
}

}  // namespace tolvi::ssh
