// An address and port to listen on or that a client came from, IPv4 or IPv6, with the text
// forms users read and write: dotted IPv4 ("192.168.1.5"), IPv6 as RFC 5952 writes it
// ("fe80::1%3", "::1"), and an IPv4 client that reaches an IPv6 socket (::ffff:a.b.c.d) in
// its IPv4 form. Plain data; the sockets turn it into their own addresses.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi::platform {

enum class Family : uint8_t { V4, V6 };

struct Endpoint {
    Family family = Family::V4;
    uint8_t address[16] = {};  // the first 4 for IPv4, in network order
    uint32_t scope = 0;        // the interface of an IPv6 link-local address
    uint16_t port = 0;

    static Endpoint AnyV4(uint16_t port);
    static Endpoint AnyV6(uint16_t port);
    static Endpoint LoopbackV4(uint16_t port);
    static Endpoint LoopbackV6(uint16_t port);

    bool operator==(const Endpoint& other) const;
    bool operator!=(const Endpoint& other) const { return !(*this == other); }
    // An IPv4 address carried in IPv6 (::ffff:a.b.c.d), as a dual-stack socket sees IPv4
    // clients.
    bool IsV4Mapped() const;
    // The same client, in IPv4 form when it is an IPv4-mapped address.
    Endpoint Unmapped() const;
};

// Reads an IPv4 or IPv6 literal, an IPv6 one with a numeric zone ("fe80::1%3"); false for
// anything else, host names included. The port is left as it is.
bool ParseAddress(const std::string& text, Endpoint* out);

// The address as users write it (the port left out); an IPv4-mapped address in IPv4 form.
std::string AddressText(const Endpoint& endpoint);

}  // namespace tolvi::platform
