// The worker's own state while it serves clients: its wait, the client sessions, the pipe
// and what waits to be written to it. Only the connector's worker touches it.
#pragma once
#include <chrono>
#include <memory>
#include <vector>

#include "engine/ByteQueue.h"
#include "engine/ClientSession.h"
#include "engine/ConsoleLog.h"
#include "engine/ReplayBuffer.h"
#include "engine/PipeConnector.h"
#include "platform/PipeClient.h"
#include "platform/WaitSet.h"

namespace tolvi {

using RelayClock = std::chrono::steady_clock;

struct PipeConnector::Relay {
    // Pieces read from the pipe and from a client.
    static constexpr size_t kPiece = platform::PipeClient::kChunk;
    // A client is read while the bytes on their way to the pipe stay below this, and the
    // pipe while its data on the way to the client does: each side waits for the other.
    static constexpr size_t kHighWater = 64 * 1024;
    // Telnet answers alone may grow a client's queue past the high water; past this a client
    // that sends requests but does not read is not read any more.
    static constexpr size_t kAnswerLimit = 256 * 1024;
    // With several clients, one that has stayed behind the high water this long is not
    // waited for any more, and one with more than kSlowLimit queued is let go.
    static constexpr std::chrono::milliseconds kBehindLimit{1000};
    static constexpr size_t kSlowLimit = 4u << 20;
    // With several clients a queue may grow this far before the pipe waits: the clients
    // do not read in step, and waiting for each one's every hiccup would slow them all.
    static constexpr size_t kSharedHighWater = 1u << 20;

    // The queue size at which the pipe waits for a client.
    size_t QueueHighWater() const { return maxClients == 1 ? kHighWater : kSharedHighWater; }
    // How long a client let go has to take its last line.
    static constexpr std::chrono::milliseconds kLastLineTime{2000};

    platform::WaitSet waitSet;
    std::vector<std::unique_ptr<ClientSession>> sessions;  // the clients served, first first
    std::vector<std::unique_ptr<ClientSession>> closing;   // let go, with a last line to take
    size_t maxClients = 1;
    bool keepPipeOpen = false;  // for the log and the replay, with or without clients
    ConsoleLog log;
    ReplayBuffer replay;
    platform::PipeClient pipe;
    ByteQueue toPipe;
    RelayClock::time_point nextAttach;  // when to try opening a missing pipe again
    bool carriageReturnSent = false;    // since the pipe opened, to its first client
    std::vector<uint8_t> scratch = std::vector<uint8_t>(kPiece);
    bool wantAccept = false;   // the last accept found no connection waiting
    bool pipeMayRead = false;  // the pipe has not been found drained since the last wait
    int timeoutMs = -1;        // until the next timed step, -1 for none
};

}  // namespace tolvi
