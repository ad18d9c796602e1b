// Connecting a TCP socket, within a time limit: an address that never answers is reported in
// seconds instead of after the system's minutes of retries.
#pragma once
#include "platform/Endpoint.h"
#include "platform/Socket.h"
#include "platform/SysError.h"

namespace tolvi::platform {

// Connects socket (made by CreateStream for the endpoint's family) to to, leaving it
// non-blocking. A connection that is neither made nor refused within timeoutMs fails with the
// platform's timed-out code.
SysError ConnectWithin(TcpSocket& socket, const Endpoint& to, int timeoutMs);

}  // namespace tolvi::platform
