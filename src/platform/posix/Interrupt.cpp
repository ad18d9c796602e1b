// Interrupts on POSIX: SIGINT and SIGTERM.
#include "platform/Interrupt.h"

#include <signal.h>

namespace tolvi::platform {
namespace {

std::atomic<bool>* interruptFlag = nullptr;

void OnSignal(int) {
    if (interruptFlag)
        interruptFlag->store(true);
}

}  // namespace

void CatchInterrupts(std::atomic<bool>* flag) {
    interruptFlag = flag;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace tolvi::platform
