// What the test pipe server does with a client: echo, a line console, a stream, a sink.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "pipeserver/PipeServer.h"

namespace tolvi::tools {

struct ServeOptions {
    std::string mode;          // "echo", "console", "stream" or "sink"
    uint64_t streamBytes = 0;  // stream: how many bytes to send
    std::string sinkFile;      // sink: where to append what arrives
};

// Serves the connected client until it goes away or stop becomes true.
void ServeClient(PipeServer& server, const ServeOptions& options, const std::atomic<bool>& stop);

// The byte at position i of the stream mode: lines of printable text, easy to check.
inline uint8_t StreamByte(uint64_t i) {
    return (i % 64 == 63) ? '\n' : static_cast<uint8_t>('!' + (i % 64) % 90);
}

}  // namespace tolvi::tools
