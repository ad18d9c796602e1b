// Interrupts on POSIX: SIGINT, SIGTERM, and SIGHUP when the terminal goes away. Setting a wake
// signal only writes to a pipe, which a signal handler may do.
#include "platform/Interrupt.h"

#include <signal.h>

namespace tolvi::platform {
namespace {

WakeSignal* interruptSignal = nullptr;

void OnSignal(int) {
    if (interruptSignal)
        interruptSignal->SetFromSignalHandler();
}

}  // namespace

void CatchInterrupts(WakeSignal* signal) {
    interruptSignal = signal;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void InterruptsHandled() {
    // The process ends when the host returns; nothing waits for it here.
}

}  // namespace tolvi::platform
