// Interrupts on Windows: Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown. The
// system calls the handler on a thread of its own.
#include "platform/Interrupt.h"

#include <windows.h>

namespace tolvi::platform {
namespace {

WakeSignal* interruptSignal = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (interruptSignal)
        interruptSignal->Set();
    return TRUE;
}

}  // namespace

void CatchInterrupts(WakeSignal* signal) {
    interruptSignal = signal;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace tolvi::platform
