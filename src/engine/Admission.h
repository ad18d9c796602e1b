// Which TCP clients may use a connector's pipe.
#pragma once
#include <string>

namespace tolvi {

// The only addresses that count as local, IPv4's and IPv6's loopback (an IPv4 client of an
// IPv6 socket is compared in its IPv4 form); other loopback addresses do not.
inline constexpr const char kLocalClient[] = "127.0.0.1";
inline constexpr const char kLocalClientV6[] = "::1";
bool IsLocalClient(const std::string& address);

bool IsDelimiter(const char* delimiters, char c);

// True when a token of clientList (split at spaces and semicolons) equals address exactly.
bool IsClientInList(const std::string& clientList, const std::string& address);

// A local client always; others only with allowNonLocal, and then, with listOnly, only when
// listed. Addresses are compared as users write them ("10.0.0.5", "fe80::1%3").
bool IsClientAdmitted(const std::string& address, bool allowNonLocal, bool listOnly,
                      const std::string& clientList);

}  // namespace tolvi
