// Failed logins, paced per client address: after kFreeFailures failures within a minute,
// each new attempt from that address first waits, one second after the fifth failure and
// twice as long after each further one, at most kMaxDelay; the wait is the attempt's own, so
// other addresses' logins go on. An address's record ends a minute after its last failure,
// or at its next login; at most kMaxAddresses are remembered (the oldest is forgotten).
#pragma once
#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace tolvi::ssh {

class LoginPacer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFreeFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::chrono::seconds kMaxDelay{16};
    static constexpr size_t kMaxAddresses = 4096;

    // What a failure calls for being said: the first from an address within a minute, and
    // the one after which its logins are paced, each once.
    enum class Report { Quiet, FirstFailure, NowPaced };

    Report Failure(const std::string& address, Clock::time_point now = Clock::now());
    void Success(const std::string& address);
    // How long a new attempt from address waits first (zero while it is not paced).
    std::chrono::milliseconds Delay(const std::string& address,
                                    Clock::time_point now = Clock::now());

  private:
    struct Record {
        int failures = 0;
        Clock::time_point last;
    };
    void Forget(Clock::time_point now);

    std::mutex lock;
    std::map<std::string, Record> records;
};

}  // namespace tolvi::ssh
