// The worker's side of the pipe: opening it for the clients (and again every 500 ms while it
// is missing), moving its data to their queues and theirs to it, and losing it.
#include "engine/Format.h"
#include "engine/Relay.h"

namespace tolvi {

using platform::ErrorKind;
using platform::SysError;

namespace {

constexpr auto kAttachRetry = std::chrono::milliseconds(500);
const char kAttachingText[] = "attaching console,wait ...";
const char kConnectedText[] = "connected!\n\n";

}  // namespace

void PipeConnector::ServePipe(bool* progress) {
    Relay& r = *relay;
    r.timeoutMs = -1;
    if (r.sessions.empty())
        return;
    if (!r.pipe.IsOpen()) {
        RelayClock::time_point now = RelayClock::now();
        if (now < r.nextAttach || !AttachPipe()) {
            if (now >= r.nextAttach)
                r.nextAttach = now + kAttachRetry;
            auto left = std::chrono::ceil<std::chrono::milliseconds>(r.nextAttach - now);
            r.timeoutMs = static_cast<int>(left.count());
            return;
        }
        *progress = true;
    }

    while (r.pipeMayRead && PipeDataHasRoom()) {
        uint32_t got = 0;
        SysError error = r.pipe.Read(r.scratch.data(), Relay::kPiece, &got);
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
        *progress = true;
        if (got < Relay::kPiece)
            r.pipeMayRead = false;  // drained for now; the wait says when there is more
    }

    while (!r.toPipe.Empty() || r.pipe.WritePending()) {
        uint32_t size = static_cast<uint32_t>(std::min<size_t>(r.toPipe.Size(), Relay::kPiece));
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
}

bool PipeConnector::AttachPipe() {
    Relay& r = *relay;
    if (r.pipe.Open(pipeName).Failed())
        return false;  // missing, busy or refused: tried again in 500 ms
    r.carriageReturnSent = false;
    r.pipeMayRead = true;
    for (auto& session : r.sessions)
        AttachSession(*session);
    SetStatus(Connected);
    return true;
}

void PipeConnector::AttachSession(ClientSession& session) {
    Relay& r = *relay;
    session.QueueText(kConnectedText);
    SendTelnetCommand(session, telnet::kWill, telnet::kEcho);
    SendTelnetCommand(session, telnet::kWill, telnet::kSuppressGoAhead);
    session.SetAttached(true);
    // The console learns of a new user once, by a carriage return, as a terminal would.
    if (!r.carriageReturnSent) {
        r.toPipe.Append("\r", 1);
        r.carriageReturnSent = true;
    }
}

bool PipeConnector::PipeDataHasRoom() const {
    for (const auto& s : relay->sessions) {
        if (s->Attached() && s->Output().Size() >= Relay::kHighWater)
            return false;
    }
    return true;
}

void PipeConnector::DeliverPipeData(const uint8_t* data, size_t size) {
    for (auto& s : relay->sessions) {
        if (s->Attached())
            bytesSent += static_cast<int64_t>(s->SendPipeData(data, size));
    }
}

void PipeConnector::LosePipe() {
    Relay& r = *relay;
    ClosePipe();
    r.nextAttach = RelayClock::now();
    for (auto& s : r.sessions) {
        s->SetAttached(false);
        s->QueueText(kAttachingText);  // after whatever of the pipe's data is still queued
    }
    if (!r.sessions.empty())
        SetStatus(AttachingPipe);
}

}  // namespace tolvi
