// What the SSH server knows of the consoles it serves, and where it says what happened: the
// host implements both over its connectors. A session joins its console as one more client
// of the connector, through a connected stream whose other end the connector serves.
#pragma once
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace tolvi::ssh {

struct ConsoleEntry {
    std::string port;  // the connector's port text, "2323"
    std::string pipe;  // "\\\\.\\pipe\\com1"
    std::string description;
    std::string status;  // the status word: "Ready", "Connected", ...
};

struct JoinRequest {
    std::string port;        // the chosen console, by its port text
    std::string clientName;  // "alice@laptop 10.0.0.5": the key's comment and the address
    bool watching = false;   // a watcher: what it types is dropped
    bool take = false;       // `take`: end every other typing client first
};

class ConsoleDirectory {
  public:
    virtual ~ConsoleDirectory() = default;
    virtual std::vector<ConsoleEntry> List() = 0;
    // Joins a console: *end becomes the client's end of a connected stream; what is written
    // to it goes to the console, what is read from it is what the console shows (its
    // banners, a busy text before it closes, ...). False with a one-line reason when it
    // cannot.
    virtual bool Join(const JoinRequest& request, platform::TcpSocket* end, std::string* why) = 0;
    // `who`: the console's clients, one a line ("" when it has none).
    virtual std::string Who(const std::string& port) = 0;
};

// What the server has to say (a keys file that cannot be read, an address being paced, a
// listener that failed, a client that logged in or was refused): the host prints it, logs it
// or shows it. Called from the server's threads.
class SshEvents {
  public:
    virtual ~SshEvents() = default;
    virtual void OnSshNotice(const std::string& line) = 0;
};

}  // namespace tolvi::ssh
