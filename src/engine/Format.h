// printf-style formatting into a std::string, for the system's message texts.
#pragma once
#include <string>

namespace tolvi {

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

}  // namespace tolvi
