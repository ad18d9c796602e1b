// A lock that its owning thread may take again: the list's refresh runs inside the modal
// loops of commands that already hold it.
#pragma once
#include <windows.h>

namespace tolvi::ui {

class RecursiveLock {
  public:
    RecursiveLock() { InitializeCriticalSection(&section_); }
    ~RecursiveLock() { DeleteCriticalSection(&section_); }
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    void Lock() { EnterCriticalSection(&section_); }
    void Unlock() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

class LockHolder {
  public:
    explicit LockHolder(RecursiveLock& lock) : lock_(lock) { lock_.Lock(); }
    ~LockHolder() { lock_.Unlock(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    RecursiveLock& lock_;
};

}  // namespace tolvi::ui
