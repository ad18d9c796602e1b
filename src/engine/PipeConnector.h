// One binding of a named pipe to a TCP port: its settings, the live state the list shows,
// its sockets and pipe, and the worker thread that serves one TCP client at a time.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/ConnectorStatus.h"
#include "engine/SharedListeners.h"
#include "engine/TelnetParser.h"
#include "platform/Event.h"
#include "platform/PipeClient.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

namespace tolvi {

class PipeConnector {
  public:
    PipeConnector(std::string pipeName, std::string portText, std::string description);
    // Stops a worker that still runs, so that no thread outlives the object it serves.
    virtual ~PipeConnector();
    PipeConnector(const PipeConnector&) = delete;
    PipeConnector& operator=(const PipeConnector&) = delete;

    // Called on the GUI thread, while no worker runs.
    void SetAdmission(bool allowNonLocal, bool listOnly, std::string clientList);
    bool CreateListener();
    uint32_t StartWorker();
    // Asks the worker to end and waits for it; returns at once when none runs.
    void StopAndWait();

    // Safe to call from any thread at any time.
    std::string GetPipeName() const { return pipeName; }
    std::string GetPortText() const { return portText; }
    std::string GetDescription() const { return description; }
    std::string GetClientList() const { return clientList; }
    bool AllowsNonLocal() const { return allowNonLocal; }
    bool IsListOnly() const { return listOnly; }
    std::string GetClientAddress() const;
    std::string GetErrorText() const;
    int32_t GetStatus() const { return status.load(); }
    int64_t GetBytesSent() const { return bytesSent.load(); }
    int64_t GetBytesReceived() const { return bytesReceived.load(); }
    // The port the listening endpoint bound (the system's choice for port 0); 0 while none.
    uint16_t GetListenPort() const { return listenPort.load(); }

  private:
    enum class AttachResult { Attached, ClientGone, Stopped };
    enum class PassResult { Continue, ClientLeft, Stopped };
    class AnswerSender;

    static void WorkerMain(void* self);
    bool ServeClients();
    bool WaitForClient();
    PassResult RelayPass();
    PassResult PipeToClient();
    // Sends everything unless the client goes away or a stop is requested; pipeData counts
    // toward bytesSent.
    bool SendAll(const uint8_t* data, size_t size, bool pipeData);
    AttachResult AttachPipe();
    bool IsClientGone();
    bool SendTelnetCommand(uint8_t command, uint8_t option);
    void SendText(const char* text);
    PassResult ClientToPipe();
    // Answers the Telnet commands of one received chunk and appends its data to data.
    size_t ScanClientChunk(const uint8_t* bytes, size_t count, uint8_t* data);
    void WriteToPipe(const uint8_t* data, size_t length);
    bool RefuseClient();

    bool DisconnectClient();
    bool ClosePipe();
    bool EnterErrorState();
    bool FailListener(const std::string& message);
    void SetClientAddress(const std::string& address);
    void SetErrorText(const std::string& text);

    platform::PipeClient pipeHandle;
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
    SharedSocket listenSocket;  // shared only after an edit on a platform that needs it
    platform::TcpSocket clientSocket;
    std::string clientList;
    bool allowNonLocal = false;
    bool listOnly = false;
    // Signalled whenever no worker runs, so that StopAndWait never waits for nothing.
    platform::ManualEvent doneEvent{true};

    mutable std::mutex textLock;
    std::atomic<uint16_t> listenPort{0};
    TelnetParser telnet;
    bool clientBusy = false;  // the last receive filled its buffer
};

}  // namespace tolvi
