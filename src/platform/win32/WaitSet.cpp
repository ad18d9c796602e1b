// The wait on Windows: WaitForMultipleObjects over the stop event, one event per socket
// (WSAEventSelect, auto-reset, so the wait that a socket ends has already cleared it) and the
// events of the pipe's overlapped read and write.
#include "platform/WaitSet.h"

#include <winsock2.h>
#include <windows.h>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

WaitSet::WaitSet() {
    handles_.reserve(8);
}

WaitSet::~WaitSet() = default;

void WaitSet::Clear() {
    handles_.clear();
    readyNow_ = false;
    woke_ = nullptr;
}

void WaitSet::Add(WakeSignal& signal) {
    handles_.push_back(signal.event_.get());
}

void WaitSet::Add(TcpSocket& socket, bool readable, bool writable) {
    if ((!readable && !writable) || !socket.IsValid())
        return;
    // Every socket reports all its network events to its own event; the caller has tried
    // what it wants until it would block, so each event that fires is news.
    void* event = socket.WaitEvent();
    if (!event) {
        readyNow_ = true;  // cannot wait on it: let the caller try again soon
        return;
    }
    handles_.push_back(event);
}

void WaitSet::Add(PipeClient& pipe, bool readable, bool writable) {
    if (!pipe.IsOpen())
        return;
    if (readable) {
        if (pipe.ReadPending())
            handles_.push_back(pipe.ReadEvent());
        else
            readyNow_ = true;  // data or a failure waits to be taken
    }
    if (writable && pipe.WritePending())
        handles_.push_back(pipe.WriteEvent());
}

SysError WaitSet::Wait(int timeoutMs) {
    DWORD timeout = readyNow_ ? 0 : timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    SysError result;
    if (handles_.empty()) {
        Sleep(timeout == INFINITE ? 0 : timeout);
    } else {
        DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(),
                                         FALSE, timeout);
        if (r == WAIT_FAILED)
            result = LastWin32Error();
        else if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + handles_.size())
            woke_ = handles_[r - WAIT_OBJECT_0];
    }
    return result;
}

bool WaitSet::MayRead(const TcpSocket& socket) const {
    // Without a wait the caller goes on at once and should try everything.
    return readyNow_ || (woke_ && woke_ == socket.event_.get());
}

bool WaitSet::MayRead(const PipeClient& pipe) const {
    return readyNow_ || (pipe.IsOpen() && woke_ && woke_ == pipe.ReadEvent());
}

}  // namespace tolvi::platform
