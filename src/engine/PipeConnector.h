// One binding of a named pipe to a TCP port: its settings, its listening endpoints and
// admission rule, the live state the list shows, and the worker thread that serves its TCP
// clients. The worker waits on events (the stop request, the listeners, the clients, the pipe,
// the clients its host brings in) and on a timer only for what is timed: a missing pipe tried
// again every 500 ms, a listener resting 100 ms after it ran out of means, a client behind for
// a second, a last line's two seconds, a departed client's last bytes to the pipe. Idle, it
// wakes for nothing.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/AlertCommands.h"
#include "engine/ClientKind.h"
#include "engine/ComPortOption.h"
#include "engine/ConnectorObserver.h"
#include "engine/ConnectorSettings.h"
#include "engine/ConnectorStatus.h"
#include "platform/Endpoint.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "platform/WakeSignal.h"

namespace tolvi {

class AuditSink;
class ClientSession;

// The error text of a connector whose worker thread could not be started.
extern const char kThreadFailedText[];

class PipeConnector {
  public:
    // A connector with every setting it runs with, not yet listening.
    explicit PipeConnector(ConnectorSettings settings);
    // The three texts alone: the other settings at their defaults.
    PipeConnector(std::string pipeName, std::string portText, std::string description);
    // Stops a worker that still runs, so that no thread outlives the object it serves.
    ~PipeConnector();
    PipeConnector(const PipeConnector&) = delete;
    PipeConnector& operator=(const PipeConnector&) = delete;

    // Where the connector reports; nullptr for none. It must outlive the worker.
    void SetObserver(ConnectorObserver* observer);
    // Where its clients' sessions are written down; nullptr for nowhere. It must outlive the
    // worker. Set before StartWorker, as the next one is.
    void SetAudit(AuditSink* audit);
    // The folder of its recordings (the program's recordings folder and its port), used when
    // the console is recorded; "" for none.
    void SetRecordingFolder(std::string folder) { recordingFolder = std::move(folder); }
    const std::string& RecordingFolder() const { return recordingFolder; }
    // Opens the listening endpoints: the console's port and the watch port, on the listening
    // address or the automatic ones. predecessor is the connector this one replaces (an Edit)
    // or this one itself (a Reset): where it listens on the same address and port, its
    // endpoint is taken over instead of failing the bind. Every other holder of the port,
    // another connector of ours included, makes it fail with the port-in-use message.
    bool CreateListener(const PipeConnector* predecessor = nullptr);
    // Puts a connector that is not to listen (a rule of its host's) in Error with why.
    // Returns false, as a failed CreateListener does.
    bool FailToListen(const std::string& why) { return FailListener(why); }
    // Closes the listening endpoints of a connector whose worker has stopped, so that one
    // replacing it can bind the same ports on other addresses.
    void CloseListeners();
    // Fails, with the system's error, when no thread could be made: the connector is then in
    // Error with kThreadFailedText, its listeners closed, and the caller tells the user.
    platform::SysError StartWorker();
    // From any thread: serves one more client that the host brought in itself over stream, a
    // connected socket whose other end the host keeps (an SSH session, the web console). The
    // host has admitted it; the client limit and the busy text apply as to any client, except
    // that a console of one client that is taken tells it so at once instead of keeping it
    // waiting. False when no worker runs to serve it (stream is then closed).
    // With who.take, every other typing client is sent "*** NAME took the console" and let go
    // first (watchers stay).
    bool AddClient(platform::TcpSocket stream, HostedClient who);
    // From any thread: at most size of the latest bytes of the console's output, as its replay
    // keeps them ("" without a replay).
    std::string LatestOutput(size_t size) const;
    // From any thread: the last alert of the console, and whether there was one.
    bool LastAlert(ConsoleAlert* alert) const;
    // From any thread: the console's lines that its alert patterns could not be matched against
    // in time, since its watch began.
    uint64_t AlertLinesSkipped() const;
    // From any thread: the clients served now, first first, with their byte counts.
    std::vector<ClientInfo> Clients() const;
    // From any thread: the serial line as its COM-port clients (RFC 2217) have set it since
    // the pipe opened; false, and *line untouched, while none has.
    bool GetSerialLine(SerialLine* line) const;
    // From any thread: ends the session of one client, after it is sent notice (nothing for a
    // raw one). False when no worker runs.
    bool Disconnect(uint64_t clientId, std::string notice);

    // Asks the worker to end, without waiting: a host that stops many asks them all first.
    void RequestStop();
    // Asks the worker to end and waits for it; returns at once when none runs.
    void StopAndWait();

    // From any thread: the settings, which never change. The live state below is read
    // safely while the worker writes it.
    const ConnectorSettings& Settings() const { return settings; }
    std::string GetPipeName() const { return settings.pipeName; }
    std::string GetPortText() const { return settings.portText; }
    std::string GetDescription() const { return settings.description; }
    std::string GetClientList() const { return settings.clientList; }
    bool AllowsNonLocal() const { return settings.allowNonLocal; }
    bool IsListOnly() const { return settings.listOnly; }
    std::string GetClientAddress() const;
    std::string GetErrorText() const;
    int32_t GetStatus() const { return status.load(); }
    // With pipeServer: the pipe is made and no machine has connected to it.
    bool WaitsForMachine() const { return waitingForMachine.load(); }
    // The status word the list, the status lines and the service show.
    const char* GetStatusWord() const { return StatusWord(GetStatus(), WaitsForMachine()); }
    int64_t GetBytesSent() const { return bytesSent.load(); }
    int64_t GetBytesReceived() const { return bytesReceived.load(); }
    // The port the console's endpoint bound; 0 while there is none.
    uint16_t GetListenPort() const { return listenPort.load(); }
    // Where it listens now, the watch port's endpoints after the console's.
    std::vector<platform::Endpoint> ListeningEndpoints() const;

  private:
    struct Worker;
    // One listening socket: where, and whether its clients only watch.
    struct Listening {
        std::shared_ptr<platform::TcpSocket> socket;
        platform::Endpoint at;
        bool watch = false;
    };

    static void WorkerMain(void* self);
    // The worker's loop: returns true when it ends for a stop request, false on a failure
    // that leaves the connector in Error.
    bool ServeClients();
    void BeginService();
    bool AcceptClients(bool* progress);
    bool AdmitClient(platform::TcpSocket client, bool watch);
    void TakeHostedClients(bool* progress);
    void ServeClient(platform::TcpSocket client, ClientInfo who, bool telnet, bool banners);
    // Lets a client go with a last line; the others of a shared console hear that it left.
    // how: why, as the audit trail says it (SessionEnded).
    void EndSession(std::unique_ptr<ClientSession>& session, const std::string& lastLine,
                    const std::string& how);
    // Whether the clients of this console are told of each other: a shared Telnet console.
    bool SharedConsole() const;
    // One line to every client of a shared console that is told banners, but one.
    void Notify(const std::string& line, const ClientSession* except);
    std::string WhoIsOn() const;
    void StartAlerts();
    void TellAlert(const ConsoleAlert& alert);
    // The recording and the audit trail (PipeConnectorRecord.cpp): what happens around the
    // console, as markers of its recording and records of the trail.
    void StartRecording();
    void Mark(const std::string& marker);
    void SessionBegan(const ClientSession& session);
    void SessionEnded(const ClientSession& session, const std::string& how);
    void NoteTyping(const ClientSession& session, size_t before);
    void NoteTake(const HostedClient& who);
    void NoteRefusal(const std::string& client, const std::string& why);
    void RefuseClient(platform::TcpSocket& client, const std::string& address);
    void TurnAwayBusy(platform::TcpSocket& client, const std::string& name, size_t count,
                      bool watchers);
    void ServeSessions(bool* progress);
    void ServeClosing(bool* progress);
    // With keepTurn, a console left without clients keeps its pipe and its turn: one who takes
    // it over comes next.
    void EndGoneSessions(bool* progress, bool keepTurn = false);
    void EndTurnWithoutClients();
    void LetGoSlowClient(std::unique_ptr<ClientSession>& session);
    void EndTurn();
    void ShowClients();
    size_t CountSessions(bool watching) const;
    // What a COM-port client's requests ask of the connector: the line shown, a break told.
    void ServeComPort(ClientSession& session);
    void ForgetSerialLine();
    void ServePipe(bool* progress);
    bool AttachPipe();
    void PipeAttached();
    // The pipe's server end (pipeServer): made when the worker starts, and the machine's
    // connection taken as the pipe's opening. False when the pipe cannot be made: the
    // connector is then in Error.
    bool MakeServedPipe();
    bool AttachServedPipe();
    void AttachSession(ClientSession& session);
    void DeliverPipeData(const uint8_t* data, size_t size);
    bool PipeDataHasRoom();
    void LosePipe();
    void CloseIdlePipe();
    void PrepareWait();

    bool OpenEndpoints(const std::vector<platform::Endpoint>& where, bool watch,
                       const std::vector<Listening>& previous);
    bool OpenEndpoint(const platform::Endpoint& at, bool dualStack, bool watch,
                      const std::vector<Listening>& previous, bool* skipped);
    std::string PortInUseText(bool watch) const;
    void DisconnectClient();
    void ClosePipe();
    void EnterErrorState();
    bool FailListener(const std::string& message);
    void SetStatus(int32_t value);
    void SetClientAddress(const std::string& address);
    void SetErrorText(const std::string& text);
    void Alert(const std::string& text);

    const ConnectorSettings settings;
    platform::WorkerThread workerThread;
    std::atomic<int32_t> status{Initialization};
    std::string clientAddress;  // guarded by stateLock
    std::string errorText;      // guarded by stateLock
    std::atomic<int64_t> bytesReceived{0};
    std::atomic<int64_t> bytesSent{0};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> waitingForMachine{false};
    // Shared only while an Edit or Reset hands one over; changed under stateLock, since the
    // connector taking it over reads them while this one's worker may still run.
    std::vector<Listening> listeners;

    platform::WakeSignal stopSignal;  // set with stopRequested, so that it ends any wait
    // Clients that hosts bring in, until the worker takes them; set when there are some.
    struct Incoming {
        platform::TcpSocket stream;
        HostedClient who;
    };
    struct Ending {
        uint64_t id;
        std::string notice;
    };
    std::mutex inboxLock;
    std::vector<Incoming> inbox;   // guarded by inboxLock
    std::vector<Ending> endings;   // guarded by inboxLock: clients to let go
    bool takesClients = false;     // guarded by inboxLock: a worker runs to take them
    platform::WakeSignal inboxSignal;
    // What Clients reports, guarded by stateLock: each client and its live counts.
    std::vector<std::pair<ClientInfo, std::shared_ptr<const ClientTraffic>>> clients;
    uint64_t nextClientId = 1;  // the worker's
    SerialLine shownLine;       // guarded by stateLock
    bool serialLineSet = false; // guarded by stateLock
    ConsoleAlert lastAlert;     // guarded by stateLock
    bool alerted = false;       // guarded by stateLock
    ConnectorObserver* observer = nullptr;
    AuditSink* auditSink = nullptr;
    std::string recordingFolder;
    mutable std::mutex stateLock;
    std::atomic<uint16_t> listenPort{0};
    std::unique_ptr<Worker> worker;  // the worker's own state
    // The alert command's runs, started on the alert thread, ended with the worker.
    AlertCommands alertCommands{[this](const std::string& text) { SetErrorText(text); }};
};

}  // namespace tolvi
