// Where a connection comes from, as the server counts and paces strangers: an IPv4 address
// itself, and an IPv6 address by its /64, the least that one site is given, so that a host
// cannot pass for many by taking new addresses within its own network.
#pragma once
#include <string>

namespace tolvi::ssh {

// "10.0.0.5" for 10.0.0.5 (and for ::ffff:10.0.0.5), "2001:db8:1:2::/64" for any address
// of that /64; text that is no address is its own source.
std::string SourceOf(const std::string& address);

}  // namespace tolvi::ssh
