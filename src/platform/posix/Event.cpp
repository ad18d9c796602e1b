// A manual-reset event from a mutex and a condition variable.
#include "platform/Event.h"

namespace tolvi::platform {

ManualEvent::ManualEvent(bool signalled) : signalled_(signalled) {}
ManualEvent::~ManualEvent() = default;

void ManualEvent::Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
    // Notified under the lock: a waiter that wakes may destroy the event at once.
    changed_.notify_all();
}

void ManualEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

SysError ManualEvent::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return signalled_; });
    return {};
}

}  // namespace tolvi::platform
