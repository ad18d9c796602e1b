// Interrupts on Windows: Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown. The
// system calls the handler on a thread of its own.
#include "platform/Interrupt.h"

#include <windows.h>

namespace tolvi::platform {
namespace {

WakeSignal* interruptSignal = nullptr;
HANDLE handled = nullptr;  // manual-reset: set once the host has stopped

// Windows ends a process whose handler has not returned after about five seconds of a close,
// logoff or shutdown; a stop takes milliseconds, and waiting longer gains nothing.
constexpr DWORD kStopWaitMs = 10000;

}  // namespace

int __stdcall OnConsoleEvent(unsigned long type) {
    if (interruptSignal)
        interruptSignal->Set();
    // After these the process ends as soon as the handler returns: not before the host has
    // stopped every connector.
    if ((type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) &&
        handled) {
        WaitForSingleObject(handled, kStopWaitMs);
    }
    return TRUE;
}

void CatchInterrupts(WakeSignal* signal) {
    interruptSignal = signal;
    if (!handled)
        handled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void InterruptsHandled() {
    if (handled)
        SetEvent(handled);
}

}  // namespace tolvi::platform
