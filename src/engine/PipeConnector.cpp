// The connector's life: construction, the worker thread's start, stop and outer loop, the
// live state and what is told to the observer.
#include "engine/PipeConnector.h"

#include <cstdio>
#include <utility>

#include "engine/Format.h"
#include "engine/PipeConnectorWorker.h"

namespace tolvi {

const char kThreadFailedText[] = "Could not create thread";

void ConnectorObserver::OnAlert(const PipeConnector&, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

namespace {
ConnectorObserver silentObserver;  // alerts to the standard error, nothing else
}  // namespace

PipeConnector::PipeConnector(std::string pipeName, std::string portText, std::string description)
    : pipeName(std::move(pipeName)),
      description(std::move(description)),
      portText(std::move(portText)),
      observer(&silentObserver),
      worker(std::make_unique<Worker>()) {}

PipeConnector::~PipeConnector() {
    StopAndWait();
    listenSocket.reset();
}

void PipeConnector::SetAdmission(bool allowNonLocal, bool listOnly, std::string clientList) {
    this->allowNonLocal = allowNonLocal;
    this->listOnly = listOnly;
    this->clientList = std::move(clientList);
}

void PipeConnector::SetConsoleOptions(int clients, std::string log, int replay) {
    maxClients = clients < 1 ? 1 : clients > kMaxClientsLimit ? kMaxClientsLimit : clients;
    logFile = std::move(log);
    replayKiB = replay < 0 ? 0 : replay > kReplayKiBLimit ? kReplayKiBLimit : replay;
}

ConnectorSettings PipeConnector::Settings() const {
    return ConnectorSettings{pipeName,   portText,   description, allowNonLocal, listOnly,
                             clientList, maxClients, logFile,     replayKiB};
}

void PipeConnector::SetObserver(ConnectorObserver* o) {
    observer = o ? o : &silentObserver;
}

uint32_t PipeConnector::StartWorker() {
    workerThread.Join();  // a worker that ended on its own has left its thread to collect
    stopRequested = false;
    stopSignal.Reset();
    doneEvent.Reset();
    platform::SysError error = workerThread.Start(&PipeConnector::WorkerMain, this);
    if (error.Failed()) {
        // Nobody would accept on the listener: clients would wait in its backlog for ever
        // while the list said Ready. The caller tells the user, once for all that failed.
        doneEvent.Set();
        {
            std::lock_guard<std::mutex> lock(textLock);
            listenSocket.reset();
            listenPort = 0;
        }
        SetErrorText(kThreadFailedText);
        SetStatus(Error);
    }
    return static_cast<uint32_t>(error.code);
}

void PipeConnector::RequestStop() {
    stopRequested = true;
    stopSignal.Set();
}

void PipeConnector::StopAndWait() {
    RequestStop();
    platform::SysError error = doneEvent.Wait();
    if (error.Failed()) {
        Alert(Format("WaitForSingleObject failed with error %d\n", error.code));
        return;
    }
    workerThread.Join();
}

void PipeConnector::WorkerMain(void* raw) {
    auto* self = static_cast<PipeConnector*>(raw);
    if (!self->stopRequested)
        self->ServeClients();  // until a stop, or a failure that leaves it in Error
    if (self->stopRequested)
        self->DisconnectClient();
    self->worker->log.Close();
    self->doneEvent.Set();
}

// Ends the service of every client: their connections and the pipe close, the counters
// start again from zero.
void PipeConnector::DisconnectClient() {
    for (auto& session : worker->sessions)
        observer->OnClientLeft(*this, session->Address());
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
    SetStatus(Ready);
    bytesSent = 0;
    bytesReceived = 0;
}

// The list's "Client IP": the first client's address, and how many more there are.
void PipeConnector::ShowClients() {
    const auto& sessions = worker->sessions;
    std::string shown = sessions.empty() ? "" : sessions.front()->Address();
    if (sessions.size() > 1)
        shown += Format(" +%d", static_cast<int>(sessions.size() - 1));
    SetClientAddress(shown);
}

void PipeConnector::ClosePipe() {
    worker->pipe.Close();
    worker->toPipe.Clear();
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
    std::lock_guard<std::mutex> lock(textLock);
    clientAddress = address;
}

void PipeConnector::SetErrorText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(textLock);
        errorText = text;
    }
    observer->OnErrorText(*this, text);
}

void PipeConnector::Alert(const std::string& text) {
    observer->OnAlert(*this, text);
}

std::string PipeConnector::GetClientAddress() const {
    std::lock_guard<std::mutex> lock(textLock);
    return clientAddress;
}

std::string PipeConnector::GetErrorText() const {
    std::lock_guard<std::mutex> lock(textLock);
    return errorText;
}

}  // namespace tolvi
