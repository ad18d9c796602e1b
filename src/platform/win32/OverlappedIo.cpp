// Moving a pipe's bytes with overlapped reads and writes.
#include "platform/win32/OverlappedIo.h"

#include <cstring>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

// The result of a pending operation: true when it has finished (successfully or not).
bool Finished(HANDLE file, OVERLAPPED* ov, DWORD* transferred, SysError* failure) {
    if (GetOverlappedResult(file, ov, transferred, FALSE))
        return true;
    DWORD code = GetLastError();
    if (code == ERROR_IO_INCOMPLETE)
        return false;
    // A message longer than the buffer, from a pipe in message mode: what came is data like
    // any other, and the rest of the message comes with the next read.
    if (code == ERROR_MORE_DATA)
        return true;
    *failure = Win32Error(code);
    return true;
}

}  // namespace

bool AbandonIo(HANDLE file, OVERLAPPED* ov) {
    CancelIoEx(file, ov);
    if (WaitForSingleObject(ov->hEvent, 1000) != WAIT_OBJECT_0)
        return false;
    DWORD unused;
    GetOverlappedResult(file, ov, &unused, FALSE);
    return true;
}

OverlappedIo::OverlappedIo() {
    Reset();
}

void OverlappedIo::Reset() {
    read = Direction{};
    read.ov.hEvent = readEvent.get();
    write = Direction{};
    write.ov.hEvent = writeEvent.get();
}

bool OverlappedIo::Abandon(HANDLE file) {
    bool released = true;
    if (read.pending)
        released = AbandonIo(file, &read.ov) && released;
    if (write.pending)
        released = AbandonIo(file, &write.ov) && released;
    read.pending = write.pending = false;
    return released;
}

void OverlappedIo::StartRead(HANDLE file) {
    Direction& r = read;
    r.begin = r.end = 0;
    // A read that finishes at once with nothing (a zero-length message) is simply asked again.
    for (int tries = 0; tries < 16; ++tries) {
        DWORD n = 0;
        if (ReadFile(file, r.buffer.data(), kChunk, &n, &r.ov)) {
            r.end = n;
            if (n > 0)
                return;
            continue;
        }
        DWORD code = GetLastError();
        // More of a message than fits has completed the read already: its result says how
        // much came, as for one that was pending.
        if (code == ERROR_IO_PENDING || code == ERROR_MORE_DATA)
            r.pending = true;
        else
            r.failure = Win32Error(code);
        return;
    }
}

SysError OverlappedIo::Read(HANDLE file, void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    Direction& r = read;
    if (r.pending) {
        DWORD n = 0;
        if (!Finished(file, &r.ov, &n, &r.failure))
            return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
        r.pending = false;
        r.begin = 0;
        r.end = r.failure.Failed() ? 0 : n;
    }
    if (r.begin < r.end) {
        DWORD count = r.end - r.begin < size ? r.end - r.begin : size;
        std::memcpy(buffer, r.buffer.data() + r.begin, count);
        r.begin += count;
        *got = count;
        if (r.begin == r.end && !r.failure.Failed())
            StartRead(file);  // the next read is pending before the worker waits again
        return {};
    }
    if (r.failure.Failed())
        return r.failure;
    StartRead(file);
    return r.pending ? SysError{ERROR_IO_PENDING, ErrorKind::WouldBlock} : SysError{};
}

void OverlappedIo::StartWrite(HANDLE file) {
    Direction& w = write;
    while (w.begin < w.end) {
        DWORD n = 0;
        if (!WriteFile(file, w.buffer.data() + w.begin, w.end - w.begin, &n, &w.ov)) {
            DWORD code = GetLastError();
            if (code == ERROR_IO_PENDING)
                w.pending = true;
            else
                w.failure = Win32Error(code);
            return;
        }
        if (n == 0) {
            w.failure = Win32Error(ERROR_NO_DATA);
            return;
        }
        w.begin += n;
    }
}

SysError OverlappedIo::Write(HANDLE file, const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    Direction& w = write;
    if (w.pending) {
        DWORD n = 0;
        if (!Finished(file, &w.ov, &n, &w.failure))
            return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
        w.pending = false;
        if (!w.failure.Failed()) {
            w.begin += n;
            if (n == 0 && w.begin < w.end)
                w.failure = Win32Error(ERROR_NO_DATA);
            else
                StartWrite(file);  // the rest of a write the system took only in part
        }
    }
    if (w.failure.Failed())
        return w.failure;
    if (w.pending)
        return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
    if (size == 0)
        return {};
    DWORD count = size < kChunk ? size : kChunk;
    std::memcpy(w.buffer.data(), data, count);
    w.begin = 0;
    w.end = count;
    StartWrite(file);
    if (w.failure.Failed())
        return w.failure;
    *taken = count;
    return {};
}

}  // namespace tolvi::platform
