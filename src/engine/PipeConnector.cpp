// The connector's life: construction, the worker thread's start, stop and outer loop, the
// live state and what is told to the observer.
#include "engine/PipeConnector.h"

#include <cstdio>
#include <utility>

#include "engine/Format.h"
#include "engine/PipeConnectorWorker.h"
#include "engine/SafeText.h"
#include "platform/ErrorText.h"

namespace tolvi {

const char kThreadFailedText[] = "Could not create thread";

void ConnectorObserver::OnAlert(const PipeConnector&, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

namespace {
ConnectorObserver silentObserver;  // alerts to the standard error, nothing else
}  // namespace

PipeConnector::PipeConnector(ConnectorSettings settings)
    : settings(std::move(settings)),
      observer(&silentObserver),
      worker(std::make_unique<Worker>()) {}

namespace {
ConnectorSettings ThreeTexts(std::string pipeName, std::string portText, std::string description) {
    ConnectorSettings s;
    s.pipeName = std::move(pipeName);
    s.portText = std::move(portText);
    s.description = std::move(description);
    return s;
}
}  // namespace

PipeConnector::PipeConnector(std::string pipeName, std::string portText, std::string description)
    : PipeConnector(ThreeTexts(std::move(pipeName), std::move(portText), std::move(description))) {}

PipeConnector::~PipeConnector() {
    StopAndWait();
    CloseListeners();
}

void PipeConnector::SetObserver(ConnectorObserver* o) {
    observer = o ? o : &silentObserver;
}

platform::SysError PipeConnector::StartWorker() {
    workerThread.Join();  // a worker that ended on its own has left its thread to collect
    stopRequested = false;
    stopSignal.Reset();
    {
        // Clients brought in from now on wait for the worker, which may take a moment to run.
        std::lock_guard<std::mutex> hold(inboxLock);
        takesClients = true;
    }
    platform::SysError error = workerThread.Start(&PipeConnector::WorkerMain, this);
    if (error.Failed()) {
        {
            std::lock_guard<std::mutex> hold(inboxLock);
            takesClients = false;
            inbox.clear();
        }
        // Nobody would accept on the listener: clients would wait in its backlog for ever
        // while the list said Ready. The caller tells the user, once for all that failed.
        CloseListeners();
        SetErrorText(kThreadFailedText);
        SetStatus(Error);
    }
    return error;
}

void PipeConnector::RequestStop() {
    stopRequested = true;
    stopSignal.Set();
}

void PipeConnector::StopAndWait() {
    RequestStop();
    // The thread's own end, not only the worker's word that it is done: a thread that the
    // system ended before it could say so must not keep its stop waiting for ever.
    platform::SysError error = workerThread.Join();
    if (error.Failed())
        Alert(Format("%s failed with error %d", platform::WorkerThread::JoinCallName(),
                     error.code));
}

void PipeConnector::WorkerMain(void* raw) {
    auto* self = static_cast<PipeConnector*>(raw);
    if (!self->stopRequested)
        self->ServeClients();  // until a stop, or a failure that leaves it in Error
    if (self->stopRequested)
        self->DisconnectClient();
    {
        std::lock_guard<std::mutex> hold(self->inboxLock);
        self->takesClients = false;
        self->inbox.clear();  // brought in too late: their hosts see them closed
        self->endings.clear();
    }
    self->worker->alerts.Stop();
    self->alertCommands.EndAll();  // none outlives its connector
    self->worker->recorder.Stop();  // after the alerts, which mark it
    self->worker->log.Close();
    self->worker->pipe.Unmake();  // a pipe of ours goes with its worker: the next makes it anew
    self->waitingForMachine = false;
    self->worker->listening.clear();  // the connector's own, which a reset may close
}

bool PipeConnector::AddClient(platform::TcpSocket stream, HostedClient who) {
    {
        std::lock_guard<std::mutex> hold(inboxLock);
        if (!takesClients)
            return false;
        inbox.push_back(Incoming{std::move(stream), std::move(who)});
    }
    inboxSignal.Set();
    return true;
}

std::vector<ClientInfo> PipeConnector::Clients() const {
    std::lock_guard<std::mutex> lock(stateLock);
    std::vector<ClientInfo> now;
    for (const auto& [info, traffic] : clients) {
        now.push_back(info);
        now.back().bytesToClient = traffic->toClient.load();
        now.back().bytesFromClient = traffic->fromClient.load();
    }
    return now;
}

std::string PipeConnector::LatestOutput(size_t size) const {
    std::string all = worker->replay.Contents();
    return all.size() > size ? all.substr(all.size() - size) : all;
}

bool PipeConnector::LastAlert(ConsoleAlert* alert) const {
    std::lock_guard<std::mutex> lock(stateLock);
    if (alerted)
        *alert = lastAlert;
    return alerted;
}

uint64_t PipeConnector::AlertLinesSkipped() const {
    return worker->alerts.SkippedLines();
}

void PipeConnector::StartAlerts() {
    std::vector<AlertPattern> patterns;
    std::string refused = CompileAlertPatterns(settings.alerts, &patterns);
    if (!refused.empty()) {
        SetErrorText(refused);  // stored by hand: the rest of the connector runs without them
        return;
    }
    if (patterns.empty() || worker->alerts.Running())
        return;
    if (!worker->alerts.Start(
            std::move(patterns), [this](const ConsoleAlert& alert) { TellAlert(alert); },
            [this](uint64_t lines) { observer->OnAlertLinesSkipped(*this, lines); }))
        SetErrorText("Could not watch the console for alerts: no thread could be made");
}

// On the alert thread.
void PipeConnector::TellAlert(const ConsoleAlert& alert) {
    {
        std::lock_guard<std::mutex> lock(stateLock);
        lastAlert = alert;
        alerted = true;
    }
    observer->OnConsoleAlert(*this, alert);
    Mark("alert: " + alert.pattern);
    if (settings.alertCommand.empty())
        return;
    // What the console printed is a guest's text: its environment gets it as valid UTF-8.
    alertCommands.Run(settings.alertCommand, {{"TOLVI_PORT", settings.portText},
                                              {"TOLVI_PIPE", settings.pipeName},
                                              {"TOLVI_DESCRIPTION", settings.description},
                                              {"TOLVI_PATTERN", ValidUtf8(alert.pattern)},
                                              {"TOLVI_LINE", ValidUtf8(alert.line)}});
}

bool PipeConnector::Disconnect(uint64_t clientId, std::string notice) {
    {
        std::lock_guard<std::mutex> hold(inboxLock);
        if (!takesClients)
            return false;
        endings.push_back(Ending{clientId, std::move(notice)});
    }
    inboxSignal.Set();
    return true;
}

// Ends the service of every client: their connections and the pipe close, the counters
// start again from zero.
void PipeConnector::DisconnectClient() {
    for (auto& session : worker->sessions) {
        observer->OnClientLeft(*this, session->Name());
        SessionEnded(*session, "the connector stopped");
    }
    worker->sessions.clear();
    worker->closing.clear();
    ClosePipe();
    EndTurn();
}

// The clients' turn is over: no client, counters from zero, Ready.
void PipeConnector::EndTurn() {
    worker->carriageReturnSent = false;
    if (!worker->pipe.IsOpen()) {
        worker->scratch = {};
        worker->toPipe.Release();
        worker->dropped.Release();
    }
    SetClientAddress("");
    {
        std::lock_guard<std::mutex> lock(stateLock);
        clients.clear();
    }
    SetStatus(Ready);
    bytesSent = 0;
    bytesReceived = 0;
}

// The list's "Client IP": the first client's address, how many more type, and how many watch:
// "127.0.0.1 +1, 2 watching".
void PipeConnector::ShowClients() {
    std::string shown;
    size_t typing = 0, watching = 0;
    std::vector<std::pair<ClientInfo, std::shared_ptr<const ClientTraffic>>> now;
    for (const auto& s : worker->sessions) {
        now.emplace_back(s->Who(), s->SharedTraffic());
        if (s->Watching()) {
            ++watching;
        } else if (typing++ == 0) {
            shown = s->Name();
        }
    }
    if (typing > 1)
        shown += Format(" +%d", static_cast<int>(typing - 1));
    if (watching > 0)
        shown += Format("%s%d watching", shown.empty() ? "" : ", ", static_cast<int>(watching));
    SetClientAddress(shown);
    std::lock_guard<std::mutex> lock(stateLock);
    clients = std::move(now);
}

size_t PipeConnector::CountSessions(bool watching) const {
    size_t count = 0;
    for (const auto& s : worker->sessions)
        count += s->Watching() == watching ? 1 : 0;
    return count;
}

void PipeConnector::ClosePipe() {
    worker->pipe.Close();
    ForgetSerialLine();
    worker->toPipe.Clear();
    worker->closePipeWhenWritten = false;
}

void PipeConnector::EnterErrorState() {
    DisconnectClient();
    SetStatus(Error);
}

void PipeConnector::SetStatus(int32_t value) {
    if (status.exchange(value) != value)
        observer->OnStatusChanged(*this, value);
}

void PipeConnector::SetClientAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(stateLock);
    clientAddress = address;
}

void PipeConnector::SetErrorText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(stateLock);
        errorText = text;
    }
    observer->OnErrorText(*this, text);
}

void PipeConnector::Alert(const std::string& text) {
    observer->OnAlert(*this, text);
}

std::string PipeConnector::GetClientAddress() const {
    std::lock_guard<std::mutex> lock(stateLock);
    return clientAddress;
}

std::string PipeConnector::GetErrorText() const {
    std::lock_guard<std::mutex> lock(stateLock);
    return errorText;
}

}  // namespace tolvi
