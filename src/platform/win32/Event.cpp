// A manual-reset kernel event.
#include "platform/Event.h"

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

ManualEvent::ManualEvent(bool signalled)
    : handle_(CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr)) {}

ManualEvent::~ManualEvent() = default;

void ManualEvent::Set() {
    SetEvent(handle_.get());
}

void ManualEvent::Reset() {
    ResetEvent(handle_.get());
}

SysError ManualEvent::Wait() {
    if (WaitForSingleObject(handle_.get(), INFINITE) == WAIT_FAILED)
        return LastWin32Error();
    return {};
}

}  // namespace tolvi::platform
