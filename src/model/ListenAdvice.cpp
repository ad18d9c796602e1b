// Advice on where a connector listens.
#include "model/ListenAdvice.h"

#include "platform/Endpoint.h"

namespace tolvi {
namespace {

bool IsWildcard(const platform::Endpoint& at) {
    return at == platform::Endpoint::AnyV4(at.port) || at == platform::Endpoint::AnyV6(at.port);
}

bool IsLoopback(const platform::Endpoint& at) {
    platform::Endpoint plain = at.Unmapped();
    if (plain.family == platform::Family::V4)
        return plain.address[0] == 127;
    return plain == platform::Endpoint::LoopbackV6(plain.port);
}

}  // namespace

std::string ReachCommand(const ConnectorSettings& s) {
    std::string host = "127.0.0.1";
    platform::Endpoint at;
    if (!s.listenAddress.empty() && platform::ParseAddress(s.listenAddress, &at)) {
        if (at == platform::Endpoint::AnyV6(at.port))
            host = "::1";  // an explicit :: takes IPv6 alone
        else if (!IsWildcard(at))
            host = s.listenAddress;
    }
    return (s.telnet ? "telnet " : "raw TCP ") + host + " " + s.portText;
}

std::string ListenWarning(const ConnectorSettings& s) {
    platform::Endpoint at;
    if (s.allowNonLocal || s.listenAddress.empty() || !platform::ParseAddress(s.listenAddress, &at))
        return "";
    if (IsWildcard(at))
        return "only local clients will be admitted there";
    if (!IsLoopback(at)) {
        return "only local clients will be admitted there, and none arrives at " +
               s.listenAddress + ": this machine's own clients come from it, not from loopback";
    }
    return "";
}

}  // namespace tolvi
