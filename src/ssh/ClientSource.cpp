// An address's source: IPv6 cut to its /64.
#include "ssh/ClientSource.h"

#include <algorithm>

#include "platform/Endpoint.h"

namespace tolvi::ssh {

std::string SourceOf(const std::string& address) {
    platform::Endpoint at;
    if (!platform::ParseAddress(address, &at))
        return address;
    at = at.Unmapped();
    if (at.family == platform::Family::V4)
        return platform::AddressText(at);
    std::fill(at.address + 8, at.address + 16, uint8_t{0});
    at.scope = 0;
    return platform::AddressText(at) + "/64";
}

}  // namespace tolvi::ssh
