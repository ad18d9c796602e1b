// Random bytes from the system's own strong source, for secrets such as the console token.
#pragma once
#include <cstddef>

namespace tolvi::web {

// Fills buffer; false when the system could not, and then nothing may be made of it.
bool StrongRandom(void* buffer, size_t size);

}  // namespace tolvi::web
