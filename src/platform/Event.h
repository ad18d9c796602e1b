// A manual-reset event: signalled stays signalled until reset, and wakes every waiter.
#pragma once
#include "platform/SysError.h"

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace tolvi::platform {

class ManualEvent {
  public:
    explicit ManualEvent(bool signalled);
    ~ManualEvent();
    ManualEvent(const ManualEvent&) = delete;
    ManualEvent& operator=(const ManualEvent&) = delete;

    void Set();
    void Reset();
    // Waits without a time limit; fails only when the wait itself fails.
    SysError Wait();

  private:
#ifdef _WIN32
    void* handle_;
#else
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
#endif
};

}  // namespace tolvi::platform
