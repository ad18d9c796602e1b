// Ctrl-C and its kin for the console host: SIGINT, SIGTERM and SIGHUP on POSIX, the console
// control events on Windows.
#pragma once
#include "platform/WakeSignal.h"

namespace tolvi::platform {

// From now on an interrupt sets signal instead of ending the process.
void CatchInterrupts(WakeSignal* signal);

// The host has stopped what it must stop before it ends. Where the system ends the process as
// soon as the interrupt is handled (closing the console window, logoff and shutdown on
// Windows), the handler waits for this, so that every connector stops and its log is written.
void InterruptsHandled();

#ifdef _WIN32
// The console control handler as the system calls it, on a thread of its own.
int __stdcall OnConsoleEvent(unsigned long type);
#endif

}  // namespace tolvi::platform
