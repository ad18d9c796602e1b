// Ctrl-C and its kin for the console host: SIGINT and SIGTERM on POSIX, the console control
// events on Windows.
#pragma once
#include "platform/WakeSignal.h"

namespace tolvi::platform {

// From now on an interrupt sets signal instead of ending the process.
void CatchInterrupts(WakeSignal* signal);

}  // namespace tolvi::platform
