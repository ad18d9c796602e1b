// A joinable worker thread started from a plain function, reporting the system's error code
// when it cannot be created (std::thread would throw instead).
#pragma once
#include <cstdint>

#include "platform/SysError.h"

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#else
#include <pthread.h>
#endif

namespace tolvi::platform {

class WorkerThread {
  public:
    using Procedure = void (*)(void* argument);

    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Fails, with the system's error code, when no thread could be created.
    SysError Start(Procedure procedure, void* argument);
    bool Joinable() const { return started; }
    // Waits until the thread has ended, however it ended; at once when none was started.
    SysError Join();
    // The system call Join makes, as its failure's message names it.
    static const char* JoinCallName();

    // The thread's own entry; runs the procedure given to Start.
    void Run() { entry(entryArgument); }

  private:
    bool started = false;
    Procedure entry = nullptr;
    void* entryArgument = nullptr;
#ifdef _WIN32
    UniqueHandle handle;
#else
    pthread_t threadId{};
#endif
};

// Lets the calling thread give way to the program's others when the processors are busy: for
// work beside the relay that must never take its time (the alerts' matching).
void GiveWayToOtherThreads();

}  // namespace tolvi::platform
