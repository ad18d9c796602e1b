// Interrupts on POSIX: SIGINT and SIGTERM. Setting a wake signal only writes to a pipe, which
// a signal handler may do.
#include "platform/Interrupt.h"

#include <signal.h>

namespace tolvi::platform {
namespace {

WakeSignal* interruptSignal = nullptr;

void OnSignal(int) {
    if (interruptSignal)
        interruptSignal->Set();
}

}  // namespace

void CatchInterrupts(WakeSignal* signal) {
    interruptSignal = signal;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace tolvi::platform
