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

// How a logged-in session ended.
enum class SessionEnd {
    Finished,    // the console closed, or went quiet after the client's input ended
    Refused,     // no console it may open, an unknown command, no place for it
    TooSlow,     // let go: its client did not take the console's output
    ClientGone,  // the client closed or dropped the connection first
    ServerStopped,
};

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
    // A connection that tried to log in and was refused, once when it ends: the client's
    // address, the user name as it sent it (raw: a stranger's bytes, made safe by whoever shows
    // them) and the fingerprint of the last key it offered ("" when it offered none).
    virtual void OnLoginRefused(const std::string& /*address*/, const std::string& /*userAsSent*/,
                                const std::string& /*keyFingerprint*/) {}
    // A session that had logged in ended: its client's name (made safe), and how.
    virtual void OnSessionEnded(const std::string& /*name*/, SessionEnd /*how*/) {}
};

}  // namespace tolvi::ssh
