// The relay's wait on Windows: select cannot wait on a pipe, so only the client is waited
// for, briefly, and the pipe is polled by the relay's passes.
#include "platform/RelayWait.h"

namespace tolvi::platform {

bool CanWaitForPipe() {
    return false;
}

int WaitForClientOrPipe(TcpSocket& client, PipeClient&, long micros) {
    return client.WaitReadable(micros);
}

}  // namespace tolvi::platform
