// Interrupts on Windows: Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown.
#include "platform/Interrupt.h"

#include <windows.h>

namespace tolvi::platform {
namespace {

std::atomic<bool>* interruptFlag = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (interruptFlag)
        interruptFlag->store(true);
    return TRUE;
}

}  // namespace

void CatchInterrupts(std::atomic<bool>* flag) {
    interruptFlag = flag;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace tolvi::platform
