// A program's SSH side.
#include "ssh/SshHost.h"

#include "platform/UserFolder.h"

namespace tolvi::ssh {

namespace {

const char kKeysFileHelp[] =
    "# tolvi: the keys that may open consoles over SSH, one a line, as OpenSSH's\n"
    "# authorized_keys has them (a public key: the contents of a .pub file):\n"
    "#   ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAA... alice@laptop\n"
    "# Options before a key: consoles=\"2323,com1\" lets it open only those consoles (by port\n"
    "# or pipe name), watch lets it only watch. Passwords are never accepted.\n"
    "#   consoles=\"2323\",watch ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAA... bob@desk\n"
    "# Then: ssh -p SSHPORT 2323@this-machine opens the console on port 2323.\n";

}  // namespace

std::string HostKeyBeside(const std::string& keysFile) {
    std::string folder = platform::FolderOf(keysFile);
    char separator = keysFile.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + "ssh_host_ed25519_key";
}

bool MakeKeysFile(const std::string& path, FileAccess access, std::string* why) {
    std::string text, reason;
    if (ReadSmallFile(path, &text, &reason) != ReadResult::Missing)
        return true;
    return CreatePrivateFile(path, kKeysFileHelp, access, why);
}

bool SshHost::Start(uint16_t port, const std::string& listen, const SshFiles& files,
                    std::string* why) {
    server.Stop();
    hostKeyFile = files.hostKeyFile.empty() ? HostKeyBeside(files.keysFile) : files.hostKeyFile;
    platform::MakeFolder(platform::FolderOf(hostKeyFile));
    if (!hostKey.LoadOrCreate(hostKeyFile, files.access, why))
        return false;
    SshSettings settings;
    settings.port = port;
    settings.listenAddress = listen;
    settings.keysFile = files.keysFile;
    return server.Start(settings, hostKey, why);
}

}  // namespace tolvi::ssh
