// What the SSH server knows of the consoles it serves (the host's console directory), and
// where it says what happened. A session joins its console as one more client of the
// connector, through a connected stream whose other end the connector serves.
#pragma once
#include <string>
#include <vector>

#include "engine/ConsoleDirectory.h"

namespace tolvi::ssh {

// The directory is the host's, as the web console has it too.
using tolvi::ConsoleDirectory;
using tolvi::ConsoleEntry;
using tolvi::JoinRequest;

// What the server has to say (a keys file that cannot be read, an address being paced, a
// listener that failed, a client that logged in or was refused): the host prints it, logs it
// or shows it. Called from the server's threads.
class SshEvents {
  public:
    virtual ~SshEvents() = default;
    virtual void OnSshNotice(const std::string& line) = 0;
    // What keeps everyone out until somebody acts (a keys file that cannot be used, a server
    // that stopped accepting): a window shows it, where a notice goes unseen.
    virtual void OnSshProblem(const std::string& line) { OnSshNotice(line); }
};

}  // namespace tolvi::ssh
