// Ctrl-C and its kin for the console host: SIGINT and SIGTERM on POSIX, the console control
// events on Windows.
#pragma once
#include <atomic>

namespace tolvi::platform {

// From now on an interrupt sets *flag instead of ending the process.
void CatchInterrupts(std::atomic<bool>* flag);

}  // namespace tolvi::platform
