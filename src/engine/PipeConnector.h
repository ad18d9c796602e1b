// One binding of a named pipe to a TCP port: its settings, its listening endpoint and
// admission rule, the live state the list shows, and the worker thread that serves its TCP
// clients. The worker waits on events (the stop request, the listener, the clients, the
// pipe) and never on a timer, except to retry a pipe that is not there.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ConnectorObserver.h"
#include "engine/ConnectorSettings.h"
#include "engine/ConnectorStatus.h"
#include "platform/Socket.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/WakeSignal.h"

namespace tolvi {

class ClientSession;

// The error text of a connector whose worker thread could not be started.
extern const char kThreadFailedText[];

class PipeConnector {
  public:
    PipeConnector(std::string pipeName, std::string portText, std::string description);
    // Stops a worker that still runs, so that no thread outlives the object it serves.
    ~PipeConnector();
    PipeConnector(const PipeConnector&) = delete;
    PipeConnector& operator=(const PipeConnector&) = delete;

    // Called on the GUI thread, while no worker runs.
    void SetAdmission(bool allowNonLocal, bool listOnly, std::string clientList);
    // Several clients at once, a log of everything the pipe sends, and a replay of its
    // latest output for each new client; the defaults (1, "", 0) change nothing.
    void SetConsoleOptions(int maxClients, std::string logFile, int replayKiB);
    // Where the connector reports; nullptr for none. It must outlive the worker.
    void SetObserver(ConnectorObserver* observer);
    // Opens the listening endpoint. predecessor is the connector this one replaces (an Edit)
    // or this one itself (a Reset): where it listens on the same port, its endpoint is taken
    // over instead of failing the bind. Every other holder of the port, another connector of
    // ours included, makes it fail with the port-in-use message.
    bool CreateListener(const PipeConnector* predecessor = nullptr);
    // 0, or the system's error code when no thread could be made: the connector is then in
    // Error with kThreadFailedText, its listener closed, and the caller tells the user.
    uint32_t StartWorker();
    // Asks the worker to end, without waiting: a host that stops many asks them all first.
    void RequestStop();
    // Asks the worker to end and waits for it; returns at once when none runs.
    void StopAndWait();

    // From any thread: the texts fixed at construction, and the settings, which change only
    // while no worker runs. The live state below is read safely while the worker writes it.
    std::string GetPipeName() const { return pipeName; }
    std::string GetPortText() const { return portText; }
    std::string GetDescription() const { return description; }
    std::string GetClientList() const { return clientList; }
    bool AllowsNonLocal() const { return allowNonLocal; }
    bool IsListOnly() const { return listOnly; }
    // The six settings it was built from, for the store and the Edit dialog.
    ConnectorSettings Settings() const;
    std::string GetClientAddress() const;
    std::string GetErrorText() const;
    int32_t GetStatus() const { return status.load(); }
    int64_t GetBytesSent() const { return bytesSent.load(); }
    int64_t GetBytesReceived() const { return bytesReceived.load(); }
    // The port the listening endpoint bound; 0 while there is none.
    uint16_t GetListenPort() const { return listenPort.load(); }

  private:
    struct Worker;

    static void WorkerMain(void* self);
    // The worker's loop: returns true when it ends for a stop request, false on a failure
    // that leaves the connector in Error.
    bool ServeClients();
    void BeginService();
    bool AcceptClients(bool* progress);
    bool AdmitClient(platform::TcpSocket client);
    void RefuseClient(platform::TcpSocket& client, const std::string& address);
    void TurnAwayBusy(platform::TcpSocket& client, const std::string& address);
    void ServeSessions(bool* progress);
    void ServeClosing(bool* progress);
    void EndGoneSessions(bool* progress);
    void LetGoSlowClient(std::unique_ptr<ClientSession>& session);
    void EndTurn();
    void ShowClients();
    void ServePipe(bool* progress);
    bool AttachPipe();
    void AttachSession(ClientSession& session);
    void DeliverPipeData(const uint8_t* data, size_t size);
    bool PipeDataHasRoom();
    void LosePipe();
    void PrepareWait();

    void DisconnectClient();
    void ClosePipe();
    void EnterErrorState();
    bool FailListener(const std::string& message);
    bool AdoptListener(std::shared_ptr<platform::TcpSocket> socket, uint16_t port);
    void SetStatus(int32_t value);
    void SetClientAddress(const std::string& address);
    void SetErrorText(const std::string& text);
    void Alert(const std::string& text);

    const std::string pipeName;
    const std::string description;
    platform::WorkerThread workerThread;
    std::atomic<int32_t> status{Initialization};
    std::string clientAddress;  // guarded by textLock
    const std::string portText;
    std::string errorText;  // guarded by textLock
    std::atomic<int64_t> bytesReceived{0};
    std::atomic<int64_t> bytesSent{0};
    std::atomic<bool> stopRequested{false};
    // Shared only while an Edit or Reset hands it over; set under textLock, since the
    // connector taking it over reads it while this one's worker may still run.
    std::shared_ptr<platform::TcpSocket> listenSocket;
    std::string clientList;
    bool allowNonLocal = false;
    bool listOnly = false;
    int maxClients = 1;
    std::string logFile;
    int replayKiB = 0;
    // Signalled whenever no worker runs, so that StopAndWait never waits for nothing.
    platform::ManualEvent doneEvent{true};

    platform::WakeSignal stopSignal;  // set with stopRequested, so that it ends any wait
    ConnectorObserver* observer = nullptr;
    mutable std::mutex textLock;
    std::atomic<uint16_t> listenPort{0};
    std::unique_ptr<Worker> worker;  // the worker's own state
};

}  // namespace tolvi
