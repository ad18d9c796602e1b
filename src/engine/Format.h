// printf-style formatting into a std::string, for the system's message texts.
#pragma once
#include <string>

// mingw's printf archetype is Microsoft's; with ANSI stdio the GNU one is what runs.
#if defined(__MINGW32__) && !defined(__clang__)
#define TOLVI_PRINTF_ARCHETYPE gnu_printf
#else
#define TOLVI_PRINTF_ARCHETYPE printf
#endif

namespace tolvi {

std::string Format(const char* format, ...) __attribute__((format(TOLVI_PRINTF_ARCHETYPE, 1, 2)));

}  // namespace tolvi
