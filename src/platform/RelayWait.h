// The relay's wait for work: client data, and where the platform can wait on a pipe, pipe
// data too. Waiting on both lets the relay sleep while a connection idles and still react at
// once to either side.
#pragma once
#include "platform/PipeClient.h"
#include "platform/Socket.h"

namespace tolvi::platform {

// True when WaitForClientOrPipe also wakes for pipe data or a closed pipe.
bool CanWaitForPipe();

// Waits up to micros: 1 when the client is readable, 0 when it is not (timeout, pipe data,
// or only an exceptional condition on the socket), -1 when the wait failed.
int WaitForClientOrPipe(TcpSocket& client, PipeClient& pipe, long micros);

}  // namespace tolvi::platform
