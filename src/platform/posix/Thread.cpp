// Worker threads on pthreads.
#include "platform/Thread.h"

#include <pthread.h>

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
    int code = pthread_join(threadId, nullptr);
    if (code != 0)
        return ErrnoError(code);
    started = false;
    return {};
}

}  // namespace tolvi::platform
