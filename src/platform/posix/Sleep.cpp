// Sleeping on POSIX.
#include "platform/Sleep.h"

#include <cerrno>
#include <ctime>

namespace tolvi::platform {

void SleepMs(unsigned milliseconds) {
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace tolvi::platform
