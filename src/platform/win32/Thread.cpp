// Worker threads on the Win32 thread API.
#include "platform/Thread.h"

#include <windows.h>

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

uint32_t WorkerThread::Start(Procedure procedure, void* argument) {
    Join();
    procedure_ = procedure;
    argument_ = argument;
    HANDLE handle = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    if (!handle)
        return GetLastError();
    handle_ = handle;
    started_ = true;
    return 0;
}

void WorkerThread::Join() {
    if (!started_)
        return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
    started_ = false;
}

}  // namespace tolvi::platform
