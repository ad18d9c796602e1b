// Worker threads on the Win32 thread API.
#include "platform/Thread.h"

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

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
    procedure_ = procedure;
    argument_ = argument;
    handle_.reset(CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr));
    if (!handle_)
        return LastWin32Error();
    started_ = true;
    return {};
}

void WorkerThread::Join() {
    if (!started_)
        return;
    WaitForSingleObject(handle_.get(), INFINITE);
    handle_.reset();
    started_ = false;
}

}  // namespace tolvi::platform
