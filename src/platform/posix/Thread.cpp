// Worker threads on pthreads.
#include "platform/Thread.h"

#include <errno.h>
#include <pthread.h>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "platform/posix/PosixError.h"

namespace tolvi::platform {
namespace {

void* ThreadEntry(void* raw) {
    auto* thread = static_cast<WorkerThread*>(raw);
    thread->Run();
    return nullptr;
}

}  // namespace

WorkerThread::~WorkerThread() {
    Join();
}

SysError WorkerThread::Start(Procedure procedure, void* argument) {
    Join();
    entry = procedure;
    entryArgument = argument;
    pthread_t id;
    int code = pthread_create(&id, nullptr, ThreadEntry, this);
    if (code != 0)
        return ErrnoError(code);
    threadId = id;
    started = true;
    return {};
}

const char* WorkerThread::JoinCallName() {
    return "pthread_join";
}

SysError WorkerThread::Join() {
    if (!started)
        return {};
    // POSIX only says a thread joining itself *may* be refused; said here, it always is
    // (and sanitizers that trap the call never see it).
    if (pthread_equal(threadId, pthread_self()))
        return ErrnoError(EDEADLK);
    int code = pthread_join(threadId, nullptr);
    if (code != 0)
        return ErrnoError(code);
    started = false;
    return {};
}

void GiveWayToOtherThreads() {
#ifdef __linux__
    // Linux gives each thread a nice value of its own; elsewhere it is the process's, and
    // the thread stays as it is.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

}  // namespace tolvi::platform
