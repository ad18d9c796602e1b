// The worker's service of TCP clients: accept, admit or refuse, serve each admitted client's
// session, and wait until the stop request, a client, the listener or the pipe has news.
#include <algorithm>

#include "engine/Admission.h"
#include "engine/Format.h"
#include "engine/PipeConnectorWorker.h"
#include "engine/SafeText.h"
#include "platform/ErrorText.h"

namespace tolvi {

using platform::ErrorKind;
using platform::GetSystemErrorText;
using platform::SysError;

namespace {
const char kAttachingText[] = "attaching console,wait ...";
const char kTooSlowText[] = "*** Disconnected: too slow\r\n";
}  // namespace

// What a worker sets up before its first client: the options it runs with, the log, and the
// pipe opened at once when the log or the replay needs it whether or not a client comes.
void PipeConnector::BeginService() {
    Worker& r = *worker;
    r.maxClients = static_cast<size_t>(std::clamp(settings.maxClients, 1, kMaxClientsLimit));
    size_t replayBytes =
        static_cast<size_t>(std::clamp(settings.replayKiB, 0, kReplayKiBLimit)) * 1024;
    // The log, the replay and the alerts are for the hours nobody watches: the pipe is open
    // whether or not a client is there.
    r.keepPipeOpen = !settings.logFile.empty() || replayBytes > 0 || !settings.alerts.empty() ||
                     settings.record;
    StartRecording();  // before the alerts, whose thread marks the recording
    StartAlerts();
    if (r.replay.Capacity() != replayBytes)
        r.replay = ReplayBuffer(replayBytes);
    if (!settings.logFile.empty() && !r.log.IsOpen() &&
        !r.log.Open(settings.logFile, settings.logTimes))
        SetErrorText(r.log.Problem());  // the relay goes on without the log
    {
        std::lock_guard<std::mutex> lock(stateLock);
        r.listening = listeners;
    }
    r.wantAccept.assign(r.listening.size(), 0);
    r.nextAttach = RelayClock::now();
}

bool PipeConnector::ServeClients() {
    Worker& r = *worker;
    if (r.sessions.empty())
        SetStatus(Ready);
    BeginService();
    if (settings.pipeServer && !MakeServedPipe())
        return false;
    for (;;) {
        if (stopRequested)
            return true;
        // Every source that is ready gets its turn, each for a bounded amount. Then one wait
        // for all of them: none at all while there was work, but it names again every source
        // that is ready, so that one that stays busy cannot keep the others waiting.
        bool progress = false;
        if (!AcceptClients(&progress))
            return false;
        TakeHostedClients(&progress);
        ServeSessions(&progress);
        ServeClosing(&progress);
        ServePipe(&progress);
        PrepareWait();
        SysError error = r.waitSet.Wait(progress ? 0 : r.timeoutMs);
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
    Worker& r = *worker;
    std::fill(r.wantAccept.begin(), r.wantAccept.end(), 0);
    if (RelayClock::now() < r.acceptRestsUntil)
        return true;
    for (size_t i = 0; i < r.listening.size(); ++i) {
        const bool watch = r.listening[i].watch;
        // One client at a time: the next waits in the backlog. Several, or watchers: one
        // beyond the limit is told that the console is busy.
        for (int taken = 0; taken < Worker::kAcceptsPerPass &&
                            (watch || r.maxClients > 1 || CountSessions(false) == 0);
             ++taken) {
            platform::TcpSocket client;
            SysError error = r.listening[i].socket->Accept(&client);
            if (error.Is(ErrorKind::WouldBlock)) {
                r.wantAccept[i] = 1;
                break;
            }
            *progress = true;
            if (error.PeerGone())
                continue;  // it reset while it waited in the backlog: the next one
            if (error.Is(ErrorKind::NotUsable)) {
                // The listener itself is gone: nothing more can be accepted on it.
                SetErrorText(
                    Format("Accept call failed (%s)", GetSystemErrorText(error.code).c_str()));
                EnterErrorState();
                return false;
            }
            if (error.Failed()) {
                // Out of descriptors or buffers, or a connection that failed on its way in:
                // the listener is sound and the clients being served keep their turn. The
                // connection waits in the backlog while the listeners rest.
                std::string text =
                    Format("Accept call failed (%s)", GetSystemErrorText(error.code).c_str());
                if (text != GetErrorText())
                    SetErrorText(text);
                r.acceptRestsUntil = RelayClock::now() + Worker::kAcceptRest;
                return true;
            }
            if (!AdmitClient(std::move(client), watch))
                return false;
        }
    }
    return true;
}

bool PipeConnector::AdmitClient(platform::TcpSocket client, bool watch) {
    platform::Endpoint peer;
    SysError error = client.PeerAddress(&peer);
    if (error.PeerGone())
        return true;  // gone before we could look at it; nothing to refuse or serve
    if (error.Failed()) {
        SetErrorText(
            Format("Could not get client address (%s)", GetSystemErrorText(error.code).c_str()));
        EnterErrorState();
        return false;
    }
    std::string address = platform::AddressText(peer);
    if (!IsClientAdmitted(address, settings.allowNonLocal, settings.listOnly,
                          settings.clientList)) {
        RefuseClient(client, address);
        return true;
    }
    Worker& r = *worker;
    size_t already = CountSessions(watch);
    if (already >= (watch ? static_cast<size_t>(kMaxWatchers) : r.maxClients)) {
        TurnAwayBusy(client, address, already, watch);
        return true;
    }
    if ((error = client.SetNonBlocking()).Failed()) {
        CloseListeners();
        SetErrorText(Format("Could not set FIONBIO socket option (%s)",
                            GetSystemErrorText(error.code).c_str()));
        EnterErrorState();
        return false;
    }
    client.SetOobInline();
    ClientKind kind = watch ? ClientKind::WatchPort
                            : (settings.telnet ? ClientKind::Telnet : ClientKind::Raw);
    ServeClient(std::move(client), ClientInfo{0, address, kind, watch, {}, 0, 0, address, {}}, settings.telnet,
                settings.telnet);
    return true;
}

void PipeConnector::TakeHostedClients(bool* progress) {
    if (!inboxSignal.IsSet())
        return;
    inboxSignal.Reset();  // before taking them: one brought in meanwhile sets it again
    std::vector<Incoming> taken;
    std::vector<Ending> ending;
    {
        std::lock_guard<std::mutex> hold(inboxLock);
        taken.swap(inbox);
        ending.swap(endings);
    }
    Worker& r = *worker;
    for (Ending& e : ending) {
        for (auto& s : r.sessions) {
            if (s && s->Who().id == e.id) {
                EndSession(s, e.notice, "disconnected from the window");
                *progress = true;
            }
        }
    }
    EndGoneSessions(progress);
    for (Incoming& in : taken) {
        *progress = true;
        if (!in.who.address.empty() &&
            !IsClientAdmitted(in.who.address, settings.allowNonLocal, settings.listOnly,
                              settings.clientList)) {
            RefuseClient(in.stream, in.who.address);
            continue;
        }
        const bool watch = in.who.watching;
        if (in.who.take && !watch) {
            // Every other typist is told who took the console, and goes; watchers stay.
            std::string line = "\r\n*** " + in.who.name + " took the console\r\n";
            NoteTake(in.who);
            for (auto& s : r.sessions) {
                if (s && !s->Watching())
                    EndSession(s, line, "taken over by " + SafeName(in.who.name));
            }
            // The console stays open for the one who took it: a pipe closed and opened again
            // would be a new session to many a console.
            EndGoneSessions(progress, true);
            Notify(line, nullptr);
        }
        size_t already = CountSessions(watch);
        if (already >= (watch ? static_cast<size_t>(kMaxWatchers) : r.maxClients)) {
            TurnAwayBusy(in.stream, in.who.name, already, watch);
            continue;
        }
        if (in.stream.SetNonBlocking().Failed()) {
            if (in.who.take && r.sessions.empty())
                EndTurnWithoutClients();  // the turn kept for it is over
            continue;  // its host sees it closed
        }
        // The web console's bridge speaks Telnet to a Telnet console, as a browser's Telnet
        // client would; an SSH channel carries the console's bytes as they are.
        bool telnet = settings.telnet && in.who.kind == ClientKind::Web;
        ClientInfo info{0, in.who.name, in.who.kind, watch, {}, 0, 0, in.who.address,
                        in.who.keyFingerprint};
        ServeClient(std::move(in.stream), std::move(info), telnet, settings.telnet);
    }
}

void PipeConnector::ServeClient(platform::TcpSocket client, ClientInfo who, bool telnet,
                                bool banners) {
    Worker& r = *worker;
    const bool watch = who.watching;
    who.id = nextClientId++;
    if (who.address.empty())
        who.address = AddressInName(who.name);
    // A host's name for its client (an SSH key's comment) is a stranger's text: from here on
    // every place that shows it, other clients' terminals among them, gets it made safe.
    who.name = SafeName(who.name);
    r.sessions.push_back(std::make_unique<ClientSession>(std::move(client), std::move(who), telnet,
                                                         banners));
    ClientSession& session = *r.sessions.back();
    session.ShareSerialLine(&r.serialLine);
    ShowClients();
    observer->OnClientArrived(*this, watch ? session.Name() + " (watching)" : session.Name());
    SessionBegan(session);
    Notify("\r\n*** " + ShownName(session.Who()) + " joined\r\n", &session);
    if (session.Banners())
        session.QueueText(kAttachingText);
    if (r.pipe.IsOpen()) {
        r.closePipeWhenWritten = false;  // a client came while the last one's bytes went out
        AttachSession(session);
        SetStatus(Connected);
    } else {
        if (r.sessions.size() == 1)
            SetStatus(AttachingPipe);
        // The first try at once, then every 500 ms. A script writes as it connects, with no
        // banner to wait for: what it sends meanwhile waits for the try its coming starts, even
        // when its bytes came before the connector saw it. A Telnet client that comes while
        // later tries are awaited has its input dropped until "connected!", as it always had.
        bool tryNow = r.sessions.size() == 1 || !session.Telnet();
        if (tryNow)
            r.nextAttach = RelayClock::now();
        session.SetHoldsInput(tryNow);
    }
}

void PipeConnector::RefuseClient(platform::TcpSocket& client, const std::string& address) {
    std::string text =
        Format("*** Host %s is not authorized to access this service!\r\n", address.c_str());
    client.Send(text.data(), text.size());  // whether it arrives or not, the client goes
    observer->OnClientRefused(*this, address);
    NoteRefusal(address, "not admitted");
    client.CloseAfterSending();
}

void PipeConnector::TurnAwayBusy(platform::TcpSocket& client, const std::string& name,
                                 size_t count, bool watchers) {
    std::string text = Format("*** Console %s is busy: %d %s connected\r\n",
                              settings.pipeName.c_str(), static_cast<int>(count),
                              watchers ? "watchers" : "clients");
    client.Send(text.data(), text.size());
    observer->OnClientBusy(*this, name);
    NoteRefusal(name, "busy");
    client.CloseAfterSending();
}

void PipeConnector::ServeSessions(bool* progress) {
    Worker& r = *worker;
    RelayClock::time_point now = RelayClock::now();
    for (auto& owned : r.sessions) {
        ClientSession& s = *owned;
        // What a watcher types, and what anyone types while the pipe is not open, has nowhere
        // to go: its Telnet is still answered and its data dropped, so that a client that
        // leaves is seen at once.
        if (s.HoldsInput())
            continue;  // until the first try at the pipe has ended
        const bool typing = s.Attached() && !s.Watching();
        ByteQueue& into = typing ? r.toPipe : r.dropped;
        size_t taken = 0;
        while (
            s.MayRead() && s.Output().OwnSize() < Worker::kAnswerLimit &&
            (typing ? r.toPipe.Size() < Worker::kHighWater : taken < Worker::kPipeBytesPerPass)) {
            size_t before = into.Size();
            size_t got = s.Receive(Worker::kPiece, into);
            if (typing)
                NoteTyping(s, before);
            r.dropped.Clear();
            if (got == 0)
                break;
            if (typing)
                bytesReceived += static_cast<int64_t>(got);
            taken += got;
            *progress = true;
        }
        if (s.Gone())
            continue;
        if (s.Telnet() && s.TakeAreYouThere())
            s.QueueText(WhoIsOn().c_str());  // "are you there?": who is, to this client alone
        if (s.Telnet())
            ServeComPort(s);  // a COM-port client's line, and a break
        size_t queued = s.Output().Size();
        bool blocked = false;
        uint64_t pipeBytes = s.Flush(&blocked);
        if (r.WaitsFor(s))
            bytesSent += static_cast<int64_t>(pipeBytes);  // with several, counted once read
        if (s.Output().Size() != queued)
            *progress = true;
        s.Track(r.HighWaterFor(s), now);
        if (s.Output().Size() > Worker::kSlowLimit) {
            LetGoSlowClient(owned);
            *progress = true;
        }
    }
    EndGoneSessions(progress);
}

// Clients let go: each has its last line sent, or its time runs out, and then it is closed.
void PipeConnector::ServeClosing(bool* progress) {
    auto& closing = worker->closing;
    RelayClock::time_point now = RelayClock::now();
    for (auto& s : closing) {
        bool blocked = false;
        s->Flush(&blocked);
        if (s->Output().Empty() || now >= s->CloseDeadline()) {
            if (s->Output().Empty())
                s->Socket().CloseAfterSending();
            s->MarkGone();
        }
    }
    auto done =
        std::remove_if(closing.begin(), closing.end(), [](const auto& s) { return s->Gone(); });
    if (done != closing.end()) {
        closing.erase(done, closing.end());
        *progress = true;
    }
}

// Takes out the sessions that have ended: gone on their own, or let go (already told).
void PipeConnector::EndGoneSessions(bool* progress, bool keepTurn) {
    auto& sessions = worker->sessions;
    auto gone = std::stable_partition(sessions.begin(), sessions.end(),
                                      [](const auto& s) { return s && !s->Gone(); });
    if (gone == sessions.end())
        return;
    *progress = true;
    std::vector<std::string> left;
    for (auto it = gone; it != sessions.end(); ++it) {
        if (*it) {
            observer->OnClientLeft(*this, (*it)->Name());
            SessionEnded(**it, "left");
            left.push_back(ShownName((*it)->Who()));
        }
    }
    sessions.erase(gone, sessions.end());
    for (const std::string& name : left)
        Notify("\r\n*** " + name + " left\r\n", nullptr);
    if (!sessions.empty() || keepTurn) {
        ShowClients();
        return;
    }
    EndTurnWithoutClients();
}

void PipeConnector::EndTurnWithoutClients() {
    if (!worker->keepPipeOpen)
        CloseIdlePipe();  // the turn is over; the log keeps its pipe
    EndTurn();
}

// A client that cannot keep up is sent one line and let go; nobody waits for it.
void PipeConnector::LetGoSlowClient(std::unique_ptr<ClientSession>& session) {
    EndSession(session, kTooSlowText, "too slow");
}

// Its place in the sessions is left empty, for EndGoneSessions to take out.
void PipeConnector::EndSession(std::unique_ptr<ClientSession>& session,
                               const std::string& lastLine, const std::string& how) {
    session->CloseWith(session->Banners() ? lastLine.c_str() : "",
                       RelayClock::now() + Worker::kLastLineTime);
    observer->OnClientLeft(*this, session->Name());
    SessionEnded(*session, how);
    std::string name = ShownName(session->Who());
    const ClientSession* gone = session.get();
    worker->closing.push_back(std::move(session));
    Notify("\r\n*** " + name + " left\r\n", gone);
}

bool PipeConnector::SharedConsole() const {
    return settings.telnet && settings.notices &&
           (worker->maxClients > 1 || settings.watchPort != 0);
}

void PipeConnector::Notify(const std::string& line, const ClientSession* except) {
    if (!SharedConsole())
        return;
    for (auto& s : worker->sessions) {
        if (s && s.get() != except && s->Banners())
            s->QueueText(line.c_str());
    }
}

std::string PipeConnector::WhoIsOn() const {
    std::string text = "\r\n*** on " + settings.pipeName + ":\r\n";
    for (const auto& s : worker->sessions) {
        if (s)
            text += "***   " + ClientLine(s->Who()) + "\r\n";
    }
    return text;
}

void PipeConnector::PrepareWait() {
    Worker& r = *worker;
    platform::WaitSet& wait = r.waitSet;
    wait.Clear();
    wait.Add(stopSignal);
    wait.Add(inboxSignal);
    RelayClock::time_point now = RelayClock::now();
    for (size_t i = 0; i < r.listening.size(); ++i) {
        if (r.wantAccept[i])
            wait.Add(*r.listening[i].socket, true, false);
    }
    if (now < r.acceptRestsUntil) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(r.acceptRestsUntil - now);
        int ms = static_cast<int>(left.count());
        r.timeoutMs = r.timeoutMs < 0 ? ms : std::min(r.timeoutMs, ms);
    }
    for (auto& s : r.sessions) {
        bool readable = !s->HoldsInput() && s->Output().OwnSize() < Worker::kAnswerLimit &&
                        (!s->Attached() || s->Watching() || r.toPipe.Size() < Worker::kHighWater);
        wait.Add(s->Socket(), readable, !s->Output().Empty());
    }
    for (auto& s : r.closing) {
        wait.Add(s->Socket(), false, true);
        auto left = std::chrono::ceil<std::chrono::milliseconds>(s->CloseDeadline() - now);
        int ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        r.timeoutMs = r.timeoutMs < 0 ? ms : std::min(r.timeoutMs, ms);
    }
    if (r.pipe.IsOpen()) {
        wait.Add(r.pipe, !r.closePipeWhenWritten && PipeDataHasRoom(),
                 !r.toPipe.Empty() || r.pipe.WritePending());
    } else if (r.pipe.Serving() && now >= r.nextAttach) {
        wait.Add(r.pipe, true, false);  // for the machine to connect
    }
}

}  // namespace tolvi
