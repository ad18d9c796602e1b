// Which TCP clients may use a connector's pipe.
#pragma once
#include <string>

namespace tolvi {

// The only address that counts as local; other loopback addresses do not.
inline constexpr const char kLocalClient[] = "127.0.0.1";

bool IsDelimiter(const char* delimiters, char c);

// True when a token of clientList (split at spaces and semicolons) equals address exactly.
bool IsClientInList(const std::string& clientList, const std::string& address);

// "127.0.0.1" always; others only with allowNonLocal, and then, with listOnly, only when
// listed.
bool IsClientAdmitted(const std::string& address, bool allowNonLocal, bool listOnly,
                      const std::string& clientList);

}  // namespace tolvi
