// The client mode: a pipe client that echoes.
#include "pipeserver/ConnectEcho.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/PipeClient.h"
#include "platform/WaitSet.h"

namespace tolvi::tools {

using platform::ErrorKind;

int ConnectAndEcho(const std::string& pipeName, int timeoutMs) {
    platform::PipeClient pipe;
    platform::SysError error;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((error = pipe.Open(pipeName)).Failed() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (error.Failed()) {
        std::fprintf(stderr, "tolvi-pipeserver: cannot connect to %s, error %d\n",
                     pipeName.c_str(), error.code);
        return 1;
    }
    std::printf("tolvi-pipeserver: connected to %s (echo)\n", pipeName.c_str());
    std::fflush(stdout);
    std::vector<char> buffer(65536);
    platform::WaitSet wait;
    for (;;) {
        uint32_t got = 0;
        error = pipe.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
        if (error.Is(ErrorKind::WouldBlock)) {
            wait.Clear();
            wait.Add(pipe, true, false);
            wait.Wait(-1);
            continue;
        }
        if (error.Failed())
            return 0;  // the server end has gone
        for (uint32_t sent = 0; sent < got;) {
            uint32_t taken = 0;
            error = pipe.Write(buffer.data() + sent, got - sent, &taken);
            if (error.Is(ErrorKind::WouldBlock)) {
                wait.Clear();
                wait.Add(pipe, false, true);
                wait.Wait(-1);
                continue;
            }
            if (error.Failed())
                return 0;
            sent += taken;
        }
    }
}

}  // namespace tolvi::tools
