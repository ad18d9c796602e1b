// A manual-reset event: signalled stays signalled until reset, and wakes every waiter.
#pragma once
#include "platform/SysError.h"

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#else
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
    UniqueHandle handle_;
#else
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
#endif
};

}  // namespace tolvi::platform
