// The worker's own state while it serves clients: its wait, the client sessions, the pipe
// and what waits to be written to it. Only the connector's worker touches it.
#pragma once
#include <chrono>
#include <memory>
#include <vector>

#include "engine/ByteQueue.h"
#include "engine/ClientSession.h"
#include "engine/AlertWatcher.h"
#include "engine/ConsoleLog.h"
#include "engine/ConsoleRecorder.h"
#include "engine/ReplayBuffer.h"
#include "engine/PipeConnector.h"
#include "platform/PipeEnd.h"
#include "platform/WaitSet.h"

namespace tolvi {

using RelayClock = std::chrono::steady_clock;

struct PipeConnector::Worker {
    // Pieces read from the pipe and from a client.
    static constexpr size_t kPiece = platform::PipeClient::kChunk;
    // A client is read while the bytes on their way to the pipe stay below this, and the
    // pipe while its data on the way to the client does: each side waits for the other.
    static constexpr size_t kHighWater = 64 * 1024;
    // Telnet answers alone may grow a client's queue past the high water; past this a client
    // that sends requests but does not read is not read any more. Only the answers count:
    // however far behind a client is with the console's output, what it types goes through.
    static constexpr size_t kAnswerLimit = 256 * 1024;
    // With several clients, one that has stayed behind the high water this long is not
    // waited for any more. Any client with more than kSlowLimit queued is let go: one alone
    // too, whose queue the pipe's data never fills but banners and replays could.
    static constexpr std::chrono::milliseconds kBehindLimit{1000};
    static constexpr size_t kSlowLimit = 4u << 20;
    // What one pass moves from a source before the others get their turn: a console that
    // never pauses must not keep a typed key from the pipe or a new client from its accept.
    static constexpr size_t kPipeBytesPerPass = 1u << 20;
    static constexpr int kAcceptsPerPass = 4;
    // When accepting fails for want of descriptors or buffers, the listener rests this long.
    static constexpr std::chrono::milliseconds kAcceptRest{100};
    // With several clients a queue may grow this far before the pipe waits: the clients
    // do not read in step, and waiting for each one's every hiccup would slow them all.
    static constexpr size_t kSharedHighWater = 1u << 20;

    // Whether the pipe waits for this client while it is behind: one typing alone, yes; one
    // of several, or one who only watches, for a second at most.
    bool WaitsFor(const ClientSession& s) const { return maxClients == 1 && !s.Watching(); }
    // The queue size at which a client counts as behind.
    size_t HighWaterFor(const ClientSession& s) const {
        return WaitsFor(s) ? kHighWater : kSharedHighWater;
    }
    // How long a client let go has to take its last line.
    static constexpr std::chrono::milliseconds kLastLineTime{2000};

    platform::WaitSet waitSet;
    std::vector<Listening> listening;  // the connector's listeners, as the worker started
    std::vector<char> wantAccept;      // for each: its last accept found no connection waiting
    std::vector<std::unique_ptr<ClientSession>> sessions;  // the clients served, first first
    std::vector<std::unique_ptr<ClientSession>> closing;   // let go, with a last line to take
    size_t maxClients = 1;
    bool keepPipeOpen = false;  // for the log and the replay, with or without clients
    ConsoleLog log;
    ReplayBuffer replay;
    AlertWatcher alerts;  // watching the console's lines, while it has patterns
    ConsoleRecorder recorder;  // while the console is recorded
    uint64_t lastTypist = 0;   // the id of the client who typed last, for the recording
    platform::PipeEnd pipe;  // opened, or made and waiting for the machine (pipeServer)
    ByteQueue toPipe;
    SerialLine serialLine;  // as the COM-port clients set it while the pipe is open
    bool breakTold = false;  // a break no pipe carries is said once
    // The last client left with bytes still on their way to the pipe: they are written before
    // it closes, for at most kDrainTime (a script that writes and hangs up loses nothing).
    bool closePipeWhenWritten = false;
    RelayClock::time_point closeAt;
    static constexpr std::chrono::milliseconds kDrainTime{2000};
    RelayClock::time_point nextAttach;  // when to try opening a missing pipe again
    std::string serverRefused;  // the last refusal of the pipe's server, said once
    RelayClock::time_point attachedAt;  // when the pipe last opened
    bool carriageReturnSent = false;    // since the pipe opened, to its first client
    // Where the pipe's data is read to: taken while the pipe is open, given back when the
    // turn ends, so that thousands of idle connectors hold no buffers.
    std::vector<uint8_t> scratch;
    ByteQueue dropped;  // what clients type while the pipe is not open, once its Telnet is answered
    RelayClock::time_point acceptRestsUntil;  // after an accept that failed for want of means
    bool pipeMayRead = false;  // the pipe has not been found drained since the last wait
    int timeoutMs = -1;        // until the next timed step, -1 for none
};

}  // namespace tolvi
