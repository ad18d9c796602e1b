// Worker threads on the Win32 thread API.
#include "platform/Thread.h"

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

// The address space a worker's stack may grow into. The worker keeps its buffers on the heap
// and calls nothing deep, so a fraction of the program's default (2 MiB) is plenty; with
// thousands of connectors the default would reserve gigabytes.
constexpr SIZE_T kWorkerStackReserve = 256 * 1024;

DWORD WINAPI ThreadEntry(void* raw) {
    static_cast<WorkerThread*>(raw)->Run();
    return 0;
}

}  // namespace

WorkerThread::~WorkerThread() {
    Join();
}

SysError WorkerThread::Start(Procedure procedure, void* argument) {
    Join();
    entry = procedure;
    entryArgument = argument;
    handle.reset(CreateThread(nullptr, kWorkerStackReserve, ThreadEntry, this,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!handle)
        return LastWin32Error();
    started = true;
    return {};
}

const char* WorkerThread::JoinCallName() {
    return "WaitForSingleObject";
}

SysError WorkerThread::Join() {
    if (!started)
        return {};
    if (WaitForSingleObject(handle.get(), INFINITE) == WAIT_FAILED)
        return LastWin32Error();
    handle.reset();
    started = false;
    return {};
}

void GiveWayToOtherThreads() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace tolvi::platform
