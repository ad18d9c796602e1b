// What waits to be sent to one Telnet client, in order: the pipe's bytes, with every 255
// doubled so that the client reads it as data (RFC 854), and the relay's own texts and Telnet
// answers. It knows how many pipe bytes each send has delivered, a doubled 255 counting once,
// since only those count as sent.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>

#include "engine/ByteQueue.h"

namespace tolvi {

class OutputQueue {
  public:
    bool Empty() const { return bytes.Empty(); }
    size_t Size() const { return bytes.Size(); }
    const uint8_t* Front() const { return bytes.Front(); }

    // Pipe data, 255 doubled for a Telnet client and not for a raw one; counted as sent
    // unless it is a replay of what was sent before.
    void AppendPipeData(const uint8_t* data, size_t size, bool counted = true, bool doubled = true);
    // Bytes of the relay's own: texts and Telnet answers, sent as they are and not counted.
    void AppendProtocol(const void* data, size_t size);
    // How many of the queued bytes are the relay's own; a client that keeps asking without
    // reading makes these grow, however little of the pipe's data waits for it.
    size_t OwnSize() const { return ownBytes; }
    // Drops size sent bytes from the front; returns how many pipe bytes they held.
    uint64_t Consume(size_t size);
    void Clear();
    // Drops the pipe's data that waits, keeping the relay's own bytes (a Telnet answer must
    // go out whole) and the twin of a 255 half sent.
    void DropPipeData();

  private:
    enum class Kind : uint8_t { Pipe, RawPipe, Replay, Own };
    struct Run {
        size_t size;
        Kind kind;
    };
    void AddRun(size_t size, Kind kind);

    ByteQueue bytes;
    std::deque<Run> runs;
    size_t ownBytes = 0;
    bool halfSent = false;  // the first byte of a doubled 255 has been sent, its twin not yet
};

}  // namespace tolvi
