// The wake signal on Windows: a manual-reset event.
#include "platform/WakeSignal.h"

namespace tolvi::platform {

WakeSignal::WakeSignal() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WakeSignal::~WakeSignal() = default;

void WakeSignal::Set() {
    std::lock_guard<std::mutex> hold(lock_);
    set_ = true;
    SetEvent(event_.get());
}

void WakeSignal::SetFromSignalHandler() {
    set_ = true;
    SetEvent(event_.get());
}

void WakeSignal::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    set_ = false;
    ResetEvent(event_.get());
}

}  // namespace tolvi::platform
