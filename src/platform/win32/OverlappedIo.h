// The bytes of a pipe handle opened for overlapped I/O, moved without blocking: one read is
// always pending, into a buffer of its own, so that the peer's data and its departure end the
// worker's wait; a write is handed to the system and finishes while the worker goes on. The
// pipe client and the pipe's server end both move their bytes with it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/SysError.h"
#include "platform/win32/UniqueHandle.h"

namespace tolvi::platform {

// Asks the system to give up an operation and waits for it to say it has; false when it does
// not within a second, and the buffers must then be left to it.
bool AbandonIo(HANDLE file, OVERLAPPED* ov);

class OverlappedIo {
  public:
    // The most one Read gives and one Write takes.
    static constexpr DWORD kChunk = 256 * 1024;

    OverlappedIo();
    OverlappedIo(const OverlappedIo&) = delete;
    OverlappedIo& operator=(const OverlappedIo&) = delete;
    // Its events could be made.
    bool Valid() const { return readEvent && writeEvent; }

    // The first read of a connected pipe.
    void StartRead(HANDLE file);
    // As PipeClient::Read and Write say.
    SysError Read(HANDLE file, void* buffer, uint32_t size, uint32_t* got);
    SysError Write(HANDLE file, const void* data, uint32_t size, uint32_t* taken);
    bool ReadPending() const { return read.pending; }
    bool WritePending() const { return write.pending; }
    HANDLE ReadEvent() const { return readEvent.get(); }
    HANDLE WriteEvent() const { return writeEvent.get(); }

    // Gives up what is pending; false when the system kept a buffer, and the object must then
    // be left to it (a small leak beats memory written after it was freed).
    bool Abandon(HANDLE file);
    // Forgets what the last peer left (its failure, bytes not handed on), for the next one.
    void Reset();

  private:
    struct Direction {
        OVERLAPPED ov{};
        bool pending = false;
        SysError failure;  // kept until Reset: a gone peer stays gone
        std::vector<char> buffer = std::vector<char>(kChunk);
        DWORD begin = 0, end = 0;  // the bytes of buffer not yet handed on
    };
    void StartWrite(HANDLE file);

    UniqueHandle readEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle writeEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Direction read, write;
};

}  // namespace tolvi::platform
