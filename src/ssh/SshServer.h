// The SSH server of a program: one port for all of its consoles, by default on every
// interface of both families (or at one address only), public-key logins checked against
// an authorized_keys file, modern algorithms only, and a thread for each connection it
// admits (see ConnectionPlaces: strangers who never log in cannot keep anyone else out).
// While nobody connects it waits on its listeners alone: nothing ticks.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ssh/ConsoleDirectory.h"
#include "ssh/HostKey.h"

namespace tolvi::ssh {

struct SshSettings {
    uint16_t port = 0;          // 0: any free port; Port() tells which
    std::string listenAddress;  // "": every interface of both families
    std::string keysFile;       // the authorized_keys file, read again at each login
};

// Start and Stop belong to the host's thread; the directory and events are called from the
// server's threads, and must outlive it.
class SshServer {
  public:
    SshServer(ConsoleDirectory& directory, SshEvents& events);
    // Stops a server that still runs.
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // Listens and starts accepting, with hostKey (loaded). False with the reason, and
    // nothing left running, when it cannot; a running server is stopped first.
    bool Start(const SshSettings& settings, const HostKey& hostKey, std::string* why);
    // Ends every session (their clients see the connection close) and the listeners, from
    // any state, within moments.
    void Stop();
    bool IsRunning() const;
    // The port it listens on; 0 while it does not run.
    uint16_t Port() const;

    // The server's state, which only its own file sees.
    struct Impl;

  private:
    std::unique_ptr<Impl> impl;
};

}  // namespace tolvi::ssh
