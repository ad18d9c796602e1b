// The connector's life: construction, the worker thread's start, stop and outer loop, and
// the small state changes the relay uses.
#include "engine/PipeConnector.h"

#include <utility>

#include "engine/Alert.h"
#include "engine/Format.h"

namespace tolvi {

PipeConnector::PipeConnector(std::string pipeName, std::string portText, std::string description)
    : pipeName(std::move(pipeName)),
      description(std::move(description)),
      portText(std::move(portText)) {}

PipeConnector::~PipeConnector() {
    StopAndWait();
    clientSocket.Close();
    listenSocket.reset();
    ClosePipe();
}

void PipeConnector::SetAdmission(bool allowNonLocal, bool listOnly, std::string clientList) {
    this->allowNonLocal = allowNonLocal;
    this->listOnly = listOnly;
    this->clientList = std::move(clientList);
}

uint32_t PipeConnector::StartWorker() {
    workerThread.Join();  // a worker that ended on its own has left its thread to collect
    stopRequested = false;
    doneEvent.Reset();
    uint32_t code = workerThread.Start(&PipeConnector::WorkerMain, this);
    if (code != 0) {
        doneEvent.Set();
        ShowAlert("Could not create thread");
    }
    return code;
}

void PipeConnector::StopAndWait() {
    stopRequested = true;
    platform::SysError error = doneEvent.Wait();
    if (error.Failed()) {
        ShowAlert(Format("WaitForSingleObject failed with error %d\n", error.code));
        return;
    }
    workerThread.Join();
}

void PipeConnector::WorkerMain(void* raw) {
    auto* self = static_cast<PipeConnector*>(raw);
    if (self->stopRequested) {
        self->DisconnectClient();
    } else {
        while (self->ServeClients() && !self->stopRequested) {
        }
        if (self->stopRequested)
            self->DisconnectClient();
    }
    self->doneEvent.Set();
}

bool PipeConnector::DisconnectClient() {
    clientSocket.Close();
    ClosePipe();
    SetClientAddress("");
    status = Ready;
    bytesSent = 0;
    bytesReceived = 0;
    return true;
}

bool PipeConnector::ClosePipe() {
    status = AttachingPipe;
    pipeHandle.Close();
    return true;
}

bool PipeConnector::EnterErrorState() {
    DisconnectClient();
    status = Error;
    return true;
}

void PipeConnector::SetClientAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(textLock);
    clientAddress = address;
}

void PipeConnector::SetErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lock(textLock);
    errorText = text;
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
