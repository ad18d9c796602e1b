// Sleeping, for the polling of the relay and its tests.
#pragma once
#include <cstdint>

namespace tolvi::platform {

void SleepMs(unsigned milliseconds);

}  // namespace tolvi::platform
