// The wake signal on Windows: a manual-reset event.
#include "platform/WakeSignal.h"

namespace tolvi::platform {

WakeSignal::WakeSignal() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WakeSignal::~WakeSignal() = default;

void WakeSignal::Set() {
    std::lock_guard<std::mutex> hold(lock);
    set = true;
    SetEvent(event.get());
}

void WakeSignal::SetFromSignalHandler() {
    set = true;
    SetEvent(event.get());
}

void WakeSignal::Reset() {
    std::lock_guard<std::mutex> hold(lock);
    set = false;
    ResetEvent(event.get());
}

}  // namespace tolvi::platform
