// The wake signal on Windows: a manual-reset event.
#include "platform/WakeSignal.h"

namespace tolvi::platform {

WakeSignal::WakeSignal() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WakeSignal::~WakeSignal() = default;

void WakeSignal::Set() {
    set_ = true;
    SetEvent(event_.get());
}

void WakeSignal::Reset() {
    set_ = false;
    ResetEvent(event_.get());
}

}  // namespace tolvi::platform
