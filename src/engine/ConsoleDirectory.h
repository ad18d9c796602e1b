// The consoles a program serves, as its SSH server and its web console reach them: each one's
// port, pipe, description and state, and a way in for one more client, whom the caller has
// admitted itself. Called from their threads, never the connectors'.
#pragma once
#include <string>
#include <vector>

#include "engine/ClientKind.h"
#include "platform/Socket.h"

namespace tolvi {

struct ConsoleEntry {
    std::string port;  // the connector's port text, "2323"
    std::string pipe;  // "\\.\pipe\com1"
    std::string description;
    std::string status;  // the status word: "Ready", "Connected", ...
};

struct JoinRequest {
    std::string port;  // the console, by its port (its number, however its text is written)
    HostedClient client;
    bool take = false;  // end every other typing client's session first
};

class ConsoleDirectory {
  public:
    virtual ~ConsoleDirectory() = default;
    virtual std::vector<ConsoleEntry> List() = 0;
    // Joins the console as the request's client: *end becomes the client's end of a connected
    // stream. What is written to it goes to the console, what is read from it is what the
    // console shows (its banners, the busy text before it closes). False, with a one-line
    // reason, when no such console runs.
    virtual bool Join(const JoinRequest& request, platform::TcpSocket* end, std::string* why) = 0;
    // The console's clients, one a line; "" when it has none.
    virtual std::string Who(const std::string& port) = 0;
    // Every console as JSON (model/ConsolesJson); "[]" where there is no such account.
    virtual std::string StatusJson() { return "[]"; }
    // The latest bytes of a console's output, at most size of them (its replay's); false when
    // there is no such console.
    virtual bool Tail(const std::string& /*port*/, size_t /*size*/, std::string* /*output*/) {
        return false;
    }
};

}  // namespace tolvi
