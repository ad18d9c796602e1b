// What tests and benchmarks do with sockets that the relay never does: connect and wait for
// it, wait on one socket, and drop a connection with a reset.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Socket.h"

namespace tolvi::test {

// address:port, address as users write it; "" is every IPv4 address.
platform::Endpoint At(const std::string& address, uint16_t port);
// The port a socket is bound to; 0 when it is not.
uint16_t LocalPortOf(platform::TcpSocket& socket);
// Connects socket to address:port, waiting until it is connected.
platform::SysError Connect(platform::TcpSocket& socket, const std::string& address, uint16_t port);
// Waits up to micros for the socket to become readable: 1 readable, 0 not (timeout, or only
// an exceptional condition), -1 failed.
int WaitReadable(platform::TcpSocket& socket, long micros);
// Waits up to micros for room to send: 1 writable, 0 timeout, -1 failed.
int WaitWritable(platform::TcpSocket& socket, long micros);
// Closes with a reset instead of an orderly shutdown (SO_LINGER 0).
void Abort(platform::TcpSocket& socket);

}  // namespace tolvi::test
