// The pipe as the relay sees it: the client end of a pipe that another program serves, or
// the server end of one tolvi made and a machine connected to. Once connected, bytes move the
// same way through either, and the relay does not ask which it has.
#pragma once
#include <cstdint>
#include <string>

#include "platform/PipeClient.h"
#include "platform/PipeServer.h"

namespace tolvi::platform {

class PipeEnd {
  public:
    // The client end: opens a pipe that another program serves, and that program trusted
    // (unless anyServer); Refusal() names one that is not.
    SysError Open(const std::string& pipeName, bool anyServer = false) {
        return client.Open(pipeName, anyServer);
    }
    const std::string& Refusal() const { return client.Refusal(); }
    // The server end: makes the pipe, for Server().Accept to take the client that connects.
    SysError Serve(const std::string& pipeName, std::string* why) {
        serving = true;
        return server.Make(pipeName, why);
    }
    bool Serving() const { return serving; }
    PipeServer& Server() { return server; }

    bool IsOpen() const { return serving ? server.IsOpen() : client.IsOpen(); }
    // Ends the connection: the client end closes; the server end lets its client go and waits
    // for the next at once.
    void Close() { serving ? server.Disconnect() : client.Close(); }
    // Closes either end, and removes a pipe of ours.
    void Unmake() {
        client.Close();
        server.Unmake();
        serving = false;
    }

    SysError Read(void* buffer, uint32_t size, uint32_t* got) {
        return serving ? server.Read(buffer, size, got) : client.Read(buffer, size, got);
    }
    SysError Write(const void* data, uint32_t size, uint32_t* taken) {
        return serving ? server.Write(data, size, taken) : client.Write(data, size, taken);
    }
    bool WritePending() const { return serving ? server.WritePending() : client.WritePending(); }

  private:
    friend class WaitSet;
    PipeClient client;
    PipeServer server;
    bool serving = false;
};

}  // namespace tolvi::platform
