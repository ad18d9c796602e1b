// A manual-reset kernel event.
#include "platform/Event.h"

#include <windows.h>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

ManualEvent::ManualEvent(bool signalled)
    : handle_(CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr)) {}

ManualEvent::~ManualEvent() {
    if (handle_)
        CloseHandle(handle_);
}

void ManualEvent::Set() {
    SetEvent(handle_);
}

void ManualEvent::Reset() {
    ResetEvent(handle_);
}

SysError ManualEvent::Wait() {
    if (WaitForSingleObject(handle_, INFINITE) == WAIT_FAILED)
        return LastWin32Error();
    return {};
}

}  // namespace tolvi::platform
