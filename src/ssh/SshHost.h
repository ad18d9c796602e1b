// The SSH side of a program, as tolvi.exe, tolvi-relay and the service each have one: where
// its keys file and host key are, the host key loaded or made there, and the server over the
// program's consoles.
#pragma once
#include <cstdint>
#include <string>

#include "ssh/ConsoleDirectory.h"
#include "ssh/HostKey.h"
#include "ssh/SshServer.h"

namespace tolvi::ssh {

struct SshFiles {
    std::string keysFile;                         // the authorized_keys file
    std::string hostKeyFile;                      // "": ssh_host_ed25519_key beside the keys file
    FileAccess access = FileAccess::CurrentUser;  // who alone may read the host key
};

// Where the host key is when its file is not given.
std::string HostKeyBeside(const std::string& keysFile);

// Makes a keys file that says how to fill it, for a user to open in an editor; false, with the
// reason, when it cannot. One that is there already is left as it is.
bool MakeKeysFile(const std::string& path, FileAccess access, std::string* why);

class SshHost {
  public:
    SshHost(ConsoleDirectory& directory, SshEvents& events) : server(directory, events) {}

    // Loads (or makes) the host key and starts the server on port (0: any free one) at listen
    // ("" every interface). False, with the reason, when either fails; a running server is
    // stopped first.
    bool Start(uint16_t port, const std::string& listen, const SshFiles& files, std::string* why);
    void Stop() { server.Stop(); }
    bool IsRunning() const { return server.IsRunning(); }
    uint16_t Port() const { return server.Port(); }
    // The host key's SHA256 fingerprint, once one was loaded; whether the last start made it.
    const std::string& Fingerprint() const { return hostKey.Fingerprint(); }
    bool HostKeyMade() const { return hostKey.Created(); }
    const std::string& HostKeyFile() const { return hostKeyFile; }

  private:
    SshServer server;
    HostKey hostKey;
    std::string hostKeyFile;
};

}  // namespace tolvi::ssh
