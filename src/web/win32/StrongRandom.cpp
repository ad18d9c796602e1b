// Strong random bytes from the system's preferred generator (BCryptGenRandom).
#include "web/StrongRandom.h"

#include <windows.h>
#include <bcrypt.h>

namespace tolvi::web {

bool StrongRandom(void* buffer, size_t size) {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace tolvi::web
