// Worker threads on pthreads.
#include "platform/Thread.h"

#include <pthread.h>

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

uint32_t WorkerThread::Start(Procedure procedure, void* argument) {
    Join();
    procedure_ = procedure;
    argument_ = argument;
    pthread_t id;
    int code = pthread_create(&id, nullptr, ThreadEntry, this);
    if (code != 0)
        return static_cast<uint32_t>(code);
    id_ = id;
    started_ = true;
    return 0;
}

void WorkerThread::Join() {
    if (!started_)
        return;
    pthread_join(static_cast<pthread_t>(id_), nullptr);
    started_ = false;
}

}  // namespace tolvi::platform
