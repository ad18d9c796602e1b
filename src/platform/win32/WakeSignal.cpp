// The wake signal on Windows: a manual-reset event.
#include "platform/WakeSignal.h"

#include <windows.h>

namespace tolvi::platform {

WakeSignal::WakeSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

WakeSignal::~WakeSignal() {
    if (event_)
        CloseHandle(event_);
}

void WakeSignal::Set() {
    set_ = true;
    SetEvent(event_);
}

void WakeSignal::Reset() {
    set_ = false;
    ResetEvent(event_);
}

}  // namespace tolvi::platform
