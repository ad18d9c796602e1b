// A stop request that a worker waits on together with its sockets and pipe, so that a stop
// ends any wait at once instead of at the end of a poll period.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#endif

namespace tolvi::platform {

class WaitSet;

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Stays set, ending every wait that includes it, until Reset.
    void Set();
    // Set for a signal handler, which may not take a lock: only for a signal that nothing
    // resets while it may be set.
    void SetFromSignalHandler();
    void Reset();
    bool IsSet() const { return set.load(); }

  private:
    friend class WaitSet;
    // Set and Reset each change the flag and the waitable object together: one that raced the
    // other could leave the object signalled while the flag says it is not, and every wait
    // would end at once for nothing.
    std::mutex lock;
    std::atomic<bool> set{false};
#ifdef _WIN32
    UniqueHandle event;  // manual-reset event
#else
    int readFd = -1;  // readable while set
    int writeFd = -1;
#endif
};

}  // namespace tolvi::platform
