// What the SSH tests share: echo consoles behind a fake directory, the server's notices
// kept, and a running server on 127.0.0.1 with a host key and a keys file in a folder of
// the test's own.
#pragma once
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ssh/SshServer.h"
#include "support/TestClient.h"

namespace tolvi::test {

// Consoles 2323 (\\.\pipe\com1) and 2424 (\\.\pipe\com2): each join is answered with
// "console PORT\r\n" and then every byte it sends comes back, and is kept as typed. 2525
// (\\.\pipe\log) prints streamBytes of output at once and stays open; 2626 (\\.\pipe\slow)
// keeps what it is sent, taking it a few KiB at a time.
class EchoConsoles : public ssh::ConsoleDirectory {
  public:
    size_t streamBytes = 3u << 20;

    ~EchoConsoles() override;
    std::vector<ssh::ConsoleEntry> List() override;
    bool Join(const ssh::JoinRequest& request, platform::TcpSocket* end, std::string* why) override;
    std::string Who(const std::string& port) override { return "alice@" + port + " 127.0.0.1\n"; }

    std::vector<ssh::JoinRequest> Joins();
    std::string Typed();

  private:
    std::mutex lock;
    std::vector<ssh::JoinRequest> joins;
    std::string typed;
    std::vector<std::thread> echoes;
};

// The server's notices, kept, and its refused logins.
class Notices : public ssh::SshEvents {
  public:
    void OnSshNotice(const std::string& line) override;
    void OnLoginRefused(const std::string& address, const std::string& user,
                        const std::string& fingerprint) override;
    bool Has(const std::string& part);
    // Lines that hold part.
    size_t Count(const std::string& part);
    std::vector<std::string> Refused();  // "address|user|fingerprint"
    std::string Lines();                 // all of them, one a line

  private:
    std::mutex lock;
    std::vector<std::string> lines;
    std::vector<std::string> refused;
};

class SshTest : public testing::Test {
  protected:
    SshTest();
    ~SshTest() override;
    bool Noticed(const std::string& part) { return notices.Has(part); }

    // Writes the keys file and starts the server on 127.0.0.1, port 0.
    void StartServer(const std::string& keys);
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    static void WriteFile(const std::string& path, const std::string& text);
    static std::string ReadFile(const std::string& path);

    std::string folder;
    EchoConsoles consoles;
    ssh::HostKey hostKey;
    Notices notices;
    ssh::SshServer server{consoles, notices};
};

}  // namespace tolvi::test
