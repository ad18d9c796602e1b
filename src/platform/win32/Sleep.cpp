// Sleeping on Windows.
#include "platform/Sleep.h"

#include <windows.h>

namespace tolvi::platform {

void SleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace tolvi::platform
