// The worker's service of TCP clients: accept, admit or refuse, serve each admitted client's
// session, and wait until the stop request, a client, the listener or the pipe has news.
#include <algorithm>

#include "engine/Admission.h"
#include "engine/Format.h"
#include "engine/Relay.h"
#include "platform/ErrorText.h"

namespace tolvi {

using platform::ErrorKind;
using platform::GetSystemErrorText;
using platform::SysError;

namespace {
const char kAttachingText[] = "attaching console,wait ...";
}  // namespace

bool PipeConnector::ServeClients() {
    Relay& r = *relay;
    if (r.sessions.empty())
        SetStatus(Ready);
    for (;;) {
        // Everything that can go on without waiting goes on; then one wait for all of it.
        bool progress;
        do {
            if (stopRequested)
                return true;
            progress = false;
            if (!AcceptClients(&progress))
                return false;
            ServeSessions(&progress);
            ServePipe(&progress);
        } while (progress);
        PrepareWait();
        SysError error = r.waitSet.Wait(r.timeoutMs);
        for (auto& s : r.sessions) {
            if (r.waitSet.MayRead(s->Socket()))
                s->SetMayRead();
        }
        if (r.waitSet.MayRead(r.pipe))
            r.pipeMayRead = true;
        if (error.Failed()) {
            SetErrorText(Format("Could not wait for the connections (%s)",
                                GetSystemErrorText(error.code).c_str()));
            EnterErrorState();
            return false;
        }
    }
}

bool PipeConnector::AcceptClients(bool* progress) {
    Relay& r = *relay;
    r.wantAccept = false;
    while (r.sessions.size() < r.maxClients) {
        platform::TcpSocket client;
        SysError error = listenSocket->Accept(&client);
        if (error.Is(ErrorKind::WouldBlock)) {
            r.wantAccept = true;
            return true;
        }
        *progress = true;
        if (error.PeerGone())
            continue;  // it reset while it waited in the backlog: the next one
        if (error.Failed()) {
            SetErrorText(Format("Accept call failed (%s)", GetSystemErrorText(error.code).c_str()));
            EnterErrorState();
            return false;
        }
        if (!AdmitClient(std::move(client)))
            return false;
    }
    return true;
}

bool PipeConnector::AdmitClient(platform::TcpSocket client) {
    std::string address;
    SysError error = client.PeerAddress(&address);
    if (error.PeerGone())
        return true;  // gone before we could look at it; nothing to refuse or serve
    if (error.Failed()) {
        SetErrorText(Format("Could not get client address (%s)",
                            GetSystemErrorText(error.code).c_str()));
        EnterErrorState();
        return false;
    }
    if (!IsClientAdmitted(address, allowNonLocal, listOnly, clientList)) {
        RefuseClient(client, address);
        return true;
    }

    Relay& r = *relay;
    if ((error = client.SetNonBlocking()).Failed()) {
        listenSocket.reset();
        listenPort = 0;
        SetErrorText(Format("Could not set FIONBIO socket option (%s)",
                            GetSystemErrorText(error.code).c_str()));
        EnterErrorState();
        return false;
    }
    client.SetOobInline();
    r.sessions.push_back(std::make_unique<ClientSession>(std::move(client), address));
    ClientSession& session = *r.sessions.back();
    SetClientAddress(address);
    observer->OnClientArrived(*this, address);
    SetStatus(Connected);

    session.QueueText(kAttachingText);
    if (r.pipe.IsOpen()) {
        AttachSession(session);
    } else {
        SetStatus(AttachingPipe);
        r.nextAttach = RelayClock::now();  // the first try at once, then every 500 ms
    }
    return true;
}

void PipeConnector::RefuseClient(platform::TcpSocket& client, const std::string& address) {
    std::string text =
        Format("*** Host %s is not authorized to access this service!\n", address.c_str());
    client.Send(text.data(), text.size());  // whether it arrives or not, the client goes
    observer->OnClientRefused(*this, address);
}

void PipeConnector::ServeSessions(bool* progress) {
    Relay& r = *relay;
    for (auto& owned : r.sessions) {
        ClientSession& s = *owned;
        if (!s.Attached()) {
            // Nowhere to put it yet: taken and dropped, so that a client that leaves is seen.
            if (s.MayRead())
                s.DiscardInput(r.scratch.data(), r.scratch.size());
        } else {
            while (s.MayRead() && r.toPipe.Size() < Relay::kHighWater &&
                   s.Output().Size() < Relay::kAnswerLimit) {
                size_t got = s.Receive(r.scratch.data(), r.scratch.size(), r.toPipe);
                if (got == 0)
                    break;
                bytesReceived += static_cast<int64_t>(got);
                *progress = true;
            }
        }
        if (s.Gone())
            continue;
        size_t queued = s.Output().Size();
        bool blocked = false;
        bytesSent += static_cast<int64_t>(s.Flush(&blocked));
        if (s.Output().Size() != queued)
            *progress = true;
    }
    EndGoneSessions(progress);
}

void PipeConnector::EndGoneSessions(bool* progress) {
    auto& sessions = relay->sessions;
    auto gone = std::stable_partition(sessions.begin(), sessions.end(),
                                      [](const auto& s) { return !s->Gone(); });
    if (gone == sessions.end())
        return;
    *progress = true;
    for (auto it = gone; it != sessions.end(); ++it)
        observer->OnClientLeft(*this, (*it)->Address());
    sessions.erase(gone, sessions.end());
    if (sessions.empty())
        DisconnectClient();  // the turn is over: pipe closed, counters from zero, Ready
}

void PipeConnector::SendTelnetCommand(ClientSession& session, uint8_t command, uint8_t option) {
    session.QueueTelnetCommand(command, option);
}

void PipeConnector::PrepareWait() {
    Relay& r = *relay;
    platform::WaitSet& wait = r.waitSet;
    wait.Clear();
    wait.Add(stopSignal);
    if (r.wantAccept)
        wait.Add(*listenSocket, true, false);
    for (auto& s : r.sessions) {
        bool readable = !s->Attached() || (r.toPipe.Size() < Relay::kHighWater &&
                                           s->Output().Size() < Relay::kAnswerLimit);
        wait.Add(s->Socket(), readable, !s->Output().Empty());
    }
    if (r.pipe.IsOpen())
        wait.Add(r.pipe, PipeDataHasRoom(), !r.toPipe.Empty() || r.pipe.WritePending());
}

}  // namespace tolvi
