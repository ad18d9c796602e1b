// The wait on Windows: WaitForMultipleObjects over the stop event, one event per socket
// (WSAEventSelect, auto-reset, so the wait that names a socket has already cleared it) and the
// events of the pipe's overlapped read and write. WaitForMultipleObjects names only the lowest
// signalled handle; the rest are gathered by asking again without waiting, so a flooding client
// or listener cannot starve the sources after it.
#include "platform/WaitSet.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

// How often handles beyond the limit of one wait are looked at. A connector never has that
// many (16 clients, as many let go, the listener, the pipe's two and the stop event make 36),
// but a wait must not fail if it ever does.
constexpr DWORD kOverflowPollMs = 10;

// Wine can announce a connection that an accept made before the announcement already took,
// and then announces no other until an accept succeeds: a listener whose news came with no
// connection behind it may be deaf. The connector tries to accept on every pass, so a wait
// that ends this often takes the next connection all the same. (Windows re-arms the news on
// any accept, so its listeners never get here in practice.)
constexpr DWORD kDeafListenerPollMs = 250;

}  // namespace

WaitSet::WaitSet() {
    handles.reserve(8);
    woke.reserve(8);
}

WaitSet::~WaitSet() = default;

void WaitSet::Clear() {
    handles.clear();
    overflow.clear();
    readyNow = false;
    pollListener = false;
    listeners.clear();
    woke.clear();
}

void WaitSet::Add(WakeSignal& signal) {
    handles.push_back(signal.event.get());
}

void WaitSet::Add(TcpSocket& socket, bool readable, bool writable) {
    if ((!readable && !writable) || !socket.IsValid())
        return;
    // Every socket reports all its network events to its own event; the caller has tried
    // what it wants until it would block, so each event that fires is news.
    void* event = socket.WaitEvent();
    if (!event) {
        readyNow = true;  // cannot wait on it: let the caller try again soon
        return;
    }
    if (socket.listening) {
        listeners.push_back(&socket);
        pollListener = pollListener || socket.newsWithoutConnection;
    }
    if (handles.size() < MAXIMUM_WAIT_OBJECTS)
        handles.push_back(event);
    else
        overflow.push_back(event);
}

void WaitSet::Add(PipeClient& pipe, bool readable, bool writable) {
    if (!pipe.IsOpen())
        return;
    auto add = [this](void* event) {
        if (handles.size() < MAXIMUM_WAIT_OBJECTS)
            handles.push_back(event);
        else
            overflow.push_back(event);
    };
    if (readable) {
        if (pipe.ReadPending())
            add(pipe.ReadEvent());
        else
            readyNow = true;  // data or a failure waits to be taken
    }
    if (writable && pipe.WritePending())
        add(pipe.WriteEvent());
}

void WaitSet::Add(PipeServer& pipe, bool readable, bool writable) {
    auto add = [this](void* event) {
        if (handles.size() < MAXIMUM_WAIT_OBJECTS)
            handles.push_back(event);
        else
            overflow.push_back(event);
    };
    if (!pipe.IsOpen()) {
        if (!readable)
            return;
        if (void* connect = pipe.ConnectEvent())
            add(connect);
        else if (pipe.ConnectedUntaken())
            readyNow = true;
        return;
    }
    if (readable) {
        if (pipe.ReadPending())
            add(pipe.ReadEvent());
        else
            readyNow = true;
    }
    if (writable && pipe.WritePending())
        add(pipe.WriteEvent());
}

SysError WaitSet::Wait(int timeoutMs) {
    DWORD timeout = readyNow ? 0 : timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (!overflow.empty())
        timeout = std::min(timeout, kOverflowPollMs);
    if (pollListener)
        timeout = std::min(timeout, kDeafListenerPollMs);
    if (handles.empty()) {
        Sleep(timeout == INFINITE ? 0 : timeout);
        return {};
    }
    const DWORD count = static_cast<DWORD>(handles.size());
    DWORD r = WaitForMultipleObjects(count, handles.data(), FALSE, timeout);
    if (r == WAIT_FAILED)
        return LastWin32Error();
    // The handles after the one named may be signalled too: ask about the rest, without
    // waiting, until none is. Asking takes an auto-reset event as a wait does.
    DWORD first = 0;
    while (r - WAIT_OBJECT_0 < count - first) {  // WAIT_TIMEOUT lies beyond any index
        DWORD at = first + (r - WAIT_OBJECT_0);
        woke.push_back(handles[at]);
        first = at + 1;
        if (first >= count)
            break;
        r = WaitForMultipleObjects(count - first, handles.data() + first, FALSE, 0);
        if (r == WAIT_FAILED)
            return LastWin32Error();
    }
    for (TcpSocket* listener : listeners)
        listener->newsAnnounced = IsNamed(listener->waitEvent.get());
    return {};
}

bool WaitSet::IsNamed(void* handle) const {
    if (!handle)
        return false;
    return std::find(woke.begin(), woke.end(), handle) != woke.end() ||
           std::find(overflow.begin(), overflow.end(), handle) != overflow.end();
}

bool WaitSet::MayRead(const TcpSocket& socket) const {
    // Without a wait the caller goes on at once and should try everything.
    return readyNow || IsNamed(socket.waitEvent.get());
}

bool WaitSet::MayRead(const PipeClient& pipe) const {
    return readyNow || (pipe.IsOpen() && IsNamed(pipe.ReadEvent()));
}

bool WaitSet::MayRead(const PipeServer& pipe) const {
    return readyNow || IsNamed(pipe.IsOpen() ? pipe.ReadEvent() : pipe.ConnectEvent());
}

}  // namespace tolvi::platform
