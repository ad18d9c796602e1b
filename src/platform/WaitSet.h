// One wait for everything a relay worker serves: its stop signal, sockets and pipe. The worker
// tries every operation it wants until each would block, then waits here until one of them
// can go on, or until its own next timed step (see PipeConnectorWorker.h). On Windows, a
// listener whose news of a connection may not come is looked at every 250 ms until it takes
// one, and sources beyond the 64 one wait can take every few milliseconds.
#pragma once
#include <vector>

#ifndef _WIN32
#include <poll.h>
#endif

#include "platform/PipeEnd.h"
#include "platform/Socket.h"
#include "platform/SysError.h"
#include "platform/WakeSignal.h"

namespace tolvi::platform {

class WaitSet {
  public:
    WaitSet();
    ~WaitSet();
    WaitSet(const WaitSet&) = delete;
    WaitSet& operator=(const WaitSet&) = delete;

    // Forgets what was added, keeping the room for the next round.
    void Clear();
    void Add(WakeSignal& signal);
    // readable: data, a waiting connection or the peer's close; writable: room to send.
    // A socket added with neither is left out.
    void Add(TcpSocket& socket, bool readable, bool writable);
    // readable: data or the server's close; writable: room for more, or bytes handed over
    // earlier have gone on their way.
    void Add(PipeClient& pipe, bool readable, bool writable);
    // The same for the pipe's server end once a client is connected; before, readable waits
    // for the client to connect.
    void Add(PipeServer& pipe, bool readable, bool writable);
    // Whichever end it is.
    void Add(PipeEnd& pipe, bool readable, bool writable) {
        if (pipe.serving)
            Add(pipe.server, readable, writable);
        else
            Add(pipe.client, readable, writable);
    }

    // Waits until something added is ready or timeoutMs has passed (-1: no limit). Only the
    // failure of the wait itself is an error.
    SysError Wait(int timeoutMs);

    // After a wait: whether it may have ended for data or a close to read on this socket or
    // pipe. Every source that was ready when the wait ended is named, not just the first, so
    // that one busy source cannot hide the others. False means trying would find nothing new.
    bool MayRead(const TcpSocket& socket) const;
    bool MayRead(const PipeClient& pipe) const;
    bool MayRead(const PipeServer& pipe) const;
    bool MayRead(const PipeEnd& pipe) const {
        return pipe.serving ? MayRead(pipe.server) : MayRead(pipe.client);
    }

  private:
#ifdef _WIN32
    // One wait takes at most 64 handles (MAXIMUM_WAIT_OBJECTS); those beyond are polled.
    std::vector<void*> handles;
    std::vector<void*> overflow;  // added beyond the limit: looked at every few milliseconds
    bool readyNow = false;        // something added can go on without waiting
    bool pollListener = false;    // a listener whose news may not come: looked at often
    std::vector<TcpSocket*> listeners;  // told after each wait whether their news came
    std::vector<void*> woke;      // the handles found signalled when the last wait ended
    bool IsNamed(void* handle) const;
#else
    std::vector<pollfd> polled;
#endif
};

}  // namespace tolvi::platform
