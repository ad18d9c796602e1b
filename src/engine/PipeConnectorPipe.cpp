// The worker's side of the pipe: opening it for the clients, or for the log and the replay
// (and again every 500 ms while it is missing), moving its data to the log, the replay and
// the clients' queues and theirs to it, and losing it.
#include <algorithm>

#include "engine/Format.h"
#include "engine/PipeConnectorWorker.h"

namespace tolvi {

using platform::ErrorKind;
using platform::SysError;

namespace {

constexpr auto kAttachRetry = std::chrono::milliseconds(500);
const char kAttachingText[] = "attaching console,wait ...";
const char kConnectedText[] = "connected!\r\n\r\n";

int MillisUntil(RelayClock::time_point when, RelayClock::time_point now) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now);
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

void PipeConnector::ServePipe(bool* progress) {
    Worker& r = *worker;
    r.timeoutMs = -1;
    if (r.sessions.empty() && !r.keepPipeOpen && !r.closePipeWhenWritten)
        return;
    if (!r.pipe.IsOpen()) {
        RelayClock::time_point now = RelayClock::now();
        if (now < r.nextAttach) {
            r.timeoutMs = MillisUntil(r.nextAttach, now);
            return;
        }
        bool opened = AttachPipe();
        for (auto& s : r.sessions) {
            if (s->HoldsInput()) {
                s->SetHoldsInput(false);  // the try has ended: held input goes, or is dropped
                *progress = true;
            }
        }
        if (!opened) {
            if (r.pipe.Serving() && r.pipe.Server().AwaitsClient())
                return;  // the wait ends when the machine connects
            r.nextAttach = now + kAttachRetry;
            r.timeoutMs = MillisUntil(r.nextAttach, now);
            return;
        }
        *progress = true;
    }

    size_t moved = 0;
    if (r.scratch.size() < Worker::kPiece)
        r.scratch.resize(Worker::kPiece);
    // A pipe that only waits to take a departed client's last bytes is not read: nobody is
    // there for its output.
    while (r.pipeMayRead && !r.closePipeWhenWritten && PipeDataHasRoom()) {
        if (moved >= Worker::kPipeBytesPerPass) {
            *progress = true;  // more waits: the others first, then this again at once
            break;
        }
        uint32_t got = 0;
        SysError error = r.pipe.Read(r.scratch.data(), Worker::kPiece, &got);
        if (error.Is(ErrorKind::WouldBlock)) {
            r.pipeMayRead = false;
            break;
        }
        if (error.Failed() && !error.PeerGone())
            Alert(Format("Could not read from pipe, error %d", error.code));
        if (error.Failed()) {
            LosePipe();  // opened again at once for the same clients
            *progress = true;
            return;
        }
        DeliverPipeData(r.scratch.data(), got);
        moved += got;
        *progress = true;
        if (!r.pipe.IsOpen())
            return;  // the last client was let go, and the pipe with it
        if (got < Worker::kPiece)
            r.pipeMayRead = false;  // drained for now; the wait says when there is more
    }

    while (!r.toPipe.Empty() || r.pipe.WritePending()) {
        uint32_t size = static_cast<uint32_t>(std::min<size_t>(r.toPipe.Size(), Worker::kPiece));
        uint32_t taken = 0;
        SysError error = r.pipe.Write(r.toPipe.Front(), size, &taken);
        if (error.Is(ErrorKind::WouldBlock))
            break;
        if (error.Failed()) {
            SetErrorText(Format("Could not write to pipe, error %d", error.code));
            LosePipe();  // what the clients sent meanwhile is dropped with it
            *progress = true;
            return;
        }
        if (taken == 0)
            break;
        r.toPipe.Consume(taken);
        *progress = true;
    }
    if (r.closePipeWhenWritten) {
        RelayClock::time_point now = RelayClock::now();
        if ((r.toPipe.Empty() && !r.pipe.WritePending()) || now >= r.closeAt) {
            CloseIdlePipe();
            *progress = true;
        } else {
            int ms = MillisUntil(r.closeAt, now);
            r.timeoutMs = r.timeoutMs < 0 ? ms : std::min(r.timeoutMs, ms);
        }
    }
}

// The last client has gone and nothing keeps the pipe: it closes once what the clients sent
// has been written to it, or after kDrainTime when the console does not take it.
void PipeConnector::CloseIdlePipe() {
    Worker& r = *worker;
    if (!r.pipe.IsOpen()) {
        r.closePipeWhenWritten = false;
        return;
    }
    if (!r.closePipeWhenWritten && (!r.toPipe.Empty() || r.pipe.WritePending())) {
        r.closePipeWhenWritten = true;
        r.closeAt = RelayClock::now() + Worker::kDrainTime;
        return;
    }
    r.closePipeWhenWritten = false;
    ClosePipe();
    r.scratch = {};
    r.toPipe.Release();
    r.dropped.Release();
    observer->OnPipeClosed(*this);
}

bool PipeConnector::AttachPipe() {
    if (settings.pipeServer)
        return AttachServedPipe();
    Worker& r = *worker;
    if (r.pipe.Open(settings.pipeName, settings.trustAnyPipeServer).Failed()) {
        // Missing, busy or refused: tried again in 500 ms. A server that is not trusted is said
        // once, not at every try: it may be there for hours.
        const std::string& refusal = r.pipe.Refusal();
        if (!refusal.empty() && refusal != r.serverRefused)
            SetErrorText(refusal);
        r.serverRefused = refusal;
        return false;
    }
    r.serverRefused.clear();
    PipeAttached();
    return true;
}

// The pipe has just been opened, or the machine has connected to ours: from here both ends are
// alike.
void PipeConnector::PipeAttached() {
    Worker& r = *worker;
    r.attachedAt = RelayClock::now();
    r.carriageReturnSent = false;
    r.pipeMayRead = true;
    observer->OnPipeAttached(*this);
    Mark("pipe attached");
    for (auto& session : r.sessions)
        AttachSession(*session);
    if (!r.sessions.empty())
        SetStatus(Connected);
}

void PipeConnector::AttachSession(ClientSession& session) {
    Worker& r = *worker;
    if (session.Banners())
        session.QueueText(kConnectedText);
    if (session.Telnet()) {
        session.Offer(telnet::kEcho);
        session.Offer(telnet::kSuppressGoAhead);
    }
    // What it missed, sent before anything new; once, when it joins: a client that stayed
    // through a loss of the pipe has seen it all, and terminal queries in a replay would be
    // answered again into a console that has just started.
    if (!session.Replayed() && r.replay.Size() > 0) {
        std::string latest = r.replay.Contents();
        session.Output().AppendPipeData(reinterpret_cast<const uint8_t*>(latest.data()),
                                        latest.size(), false, session.Telnet());
    }
    session.SetReplayed();
    session.SetAttached(true);
    // The console learns of a new user once, by a carriage return, as a terminal would; a
    // pipe kept open for the log learns of it when the first client comes. One who only
    // watches is no user, and a raw connection carries nothing but what its client sends.
    if (!r.carriageReturnSent && session.Banners() && !session.Watching()) {
        r.toPipe.Append("\r", 1);
        r.carriageReturnSent = true;
    }
}

// Whether the pipe may be read: one client typing alone is waited for while it is behind;
// several, and watchers, are waited for only while none has stayed behind for long, and one
// that has is let go later.
bool PipeConnector::PipeDataHasRoom() {
    Worker& r = *worker;
    RelayClock::time_point now{};  // asked for only when someone is behind
    bool room = true;
    for (const auto& s : r.sessions) {
        if (!s->Attached() || s->Output().Size() < r.HighWaterFor(*s))
            continue;
        if (r.WaitsFor(*s))
            return false;
        if (now == RelayClock::time_point{})
            now = RelayClock::now();
        RelayClock::time_point giveUp = s->BehindSince() + Worker::kBehindLimit;
        if (now < giveUp) {
            room = false;
            int ms = MillisUntil(giveUp, now);
            r.timeoutMs = r.timeoutMs < 0 ? ms : std::min(r.timeoutMs, ms);
        }
    }
    return room;
}

void PipeConnector::DeliverPipeData(const uint8_t* data, size_t size) {
    Worker& r = *worker;
    if (r.log.IsOpen() && !r.log.Append(data, size))
        SetErrorText(r.log.Problem());  // the relay goes on without the log
    if (std::string notice = r.log.TakeNotice(); !notice.empty())
        SetErrorText(notice);
    r.replay.Append(data, size);
    // The recording first: an alert's marker comes after the line that raised it.
    if (r.recorder.Running())
        r.recorder.Output(data, size);
    if (r.alerts.Running())
        r.alerts.Feed(data, size);
    bool anyone = false, alone = false;
    for (auto& s : r.sessions) {
        if (!s->Attached())
            continue;
        anyone = true;
        uint64_t sent = s->SendPipeData(data, size);
        if (r.WaitsFor(*s)) {
            bytesSent += static_cast<int64_t>(sent);  // a client alone: what it has taken
            alone = true;
        }
    }
    if (anyone && !alone)
        bytesSent += static_cast<int64_t>(size);  // once, however many clients get it
    RelayClock::time_point now = RelayClock::now();
    bool letGo = false;
    for (auto& s : r.sessions) {
        if (r.WaitsFor(*s))
            continue;  // the pipe waits for it instead
        s->Track(r.HighWaterFor(*s), now);
        if (s->Output().Size() > Worker::kSlowLimit) {
            LetGoSlowClient(s);
            letGo = true;
        }
    }
    if (letGo)
        EndGoneSessions(&letGo);
}

void PipeConnector::LosePipe() {
    Worker& r = *worker;
    ClosePipe();
    r.closePipeWhenWritten = false;
    observer->OnPipeLost(*this);
    Mark("pipe lost");
    // A console that went away after a while (a virtual machine restarting) is looked for
    // again at once; one that closes as soon as it is opened is tried twice a second, as a
    // missing one is, not in a loop that floods the clients with banners.
    RelayClock::time_point now = RelayClock::now();
    r.nextAttach = now - r.attachedAt >= kAttachRetry ? now : r.attachedAt + kAttachRetry;
    for (auto& s : r.sessions) {
        s->SetAttached(false);
        if (s->Banners())
            s->QueueText(kAttachingText);  // after whatever of the pipe's data is still queued
    }
    if (!r.sessions.empty())
        SetStatus(AttachingPipe);
}

}  // namespace tolvi
