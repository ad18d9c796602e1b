// The server against the clients users have: OpenSSH's ssh and PuTTY's plink, with keys
// made by ssh-keygen and puttygen in the test's folder. Linux only: these are Linux programs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "SshTestSupport.h"
#include "ssh/Libssh.h"

namespace tolvi::test {
namespace {

// A client program with its standard input and output (error joined to it) piped to us.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1]})
                close(fd);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Child() {
        CloseInput();
        if (pid > 0 && Wait() == -1) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(output);
    }
    void Write(const std::string& data) {
        EXPECT_EQ(write(input, data.data(), data.size()), (ssize_t)data.size());
    }
    void CloseInput() {
        if (input >= 0)
            close(input);
        input = -1;
    }
    // What it printed so far, waiting up to 10 s until text holds part (or it ended).
    const std::string& ReadUntil(const std::string& part) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (text.find(part) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{output, POLLIN, 0};
            char buffer[4096];
            ssize_t n = poll(&p, 1, 100) > 0 ? read(output, buffer, sizeof buffer) : 0;
            if (n < 0 || (n == 0 && p.revents != 0))
                break;
            text.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        return text;
    }
    // All it prints until it ends (or seconds pass).
    std::string ReadAll(int seconds) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{output, POLLIN, 0};
            char buffer[65536];
            ssize_t n = poll(&p, 1, 100) > 0 ? read(output, buffer, sizeof buffer) : 0;
            if (n < 0 || (n == 0 && p.revents != 0))
                break;
            text.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        return text;
    }
    void Signal(int number) { kill(pid, number); }
    // Its exit code once it ended within 10 s; -1 when it did not.
    int Wait() {
        for (int i = 0; i < 100 && pid > 0; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            usleep(100000);
        }
        return -1;
    }

  private:
    pid_t pid = -1;
    int input = -1, output = -1;
    std::string text;
};

// This process's resident memory, in bytes.
size_t ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

class OpenSshClientTest : public SshTest {
  protected:
    // A key made by ssh-keygen, and its line for the keys file behind options.
    std::string NewKey(const std::string& name, const std::string& options = "") {
        Child keygen({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", name, "-f", Path(name)});
        EXPECT_EQ(keygen.Wait(), 0);
        return options + (options.empty() ? "" : " ") + ReadFile(Path(name + ".pub"));
    }
    std::vector<std::string> Ssh(const std::string& key, const std::string& user) {
        return {"ssh",
                "-T",
                "-e",
                "none",
                "-F",
                "/dev/null",
                "-p",
                std::to_string(server.Port()),
                "-i",
                Path(key),
                "-o",
                "IdentitiesOnly=yes",
                "-o",
                "BatchMode=yes",
                "-o",
                "LogLevel=ERROR",
                "-o",
                "StrictHostKeyChecking=accept-new",
                "-o",
                "UserKnownHostsFile=" + Path("known"),
                user + "@127.0.0.1"};
    }
    // Opens the console as user, sends every byte value and expects it back.
    void EveryByteBothWays(std::vector<std::string> client, const std::string& port) {
        Child session(client);
        std::string banner = "console " + port + "\r\n", every;
        for (int i = 0; i < 256; ++i)
            every += static_cast<char>(i);
        // (plink says which user it logs in as first)
        ASSERT_NE(session.ReadUntil(banner).find(banner), std::string::npos);
        session.Write(every);
        EXPECT_NE(session.ReadUntil(banner + every).find(banner + every), std::string::npos);
        session.CloseInput();
        EXPECT_EQ(session.Wait(), 0) << client[0] << " " << session.ReadUntil("never");
    }
};

TEST_F(OpenSshClientTest, OpenSshAndPlinkOpenAConsoleByPortAndPipeName) {
    std::string keys = NewKey("alice");
    Child puttygen({"puttygen", "-q", "-t", "ed25519", "--new-passphrase", "/dev/null", "-o",
                    Path("putty.ppk")});
    ASSERT_EQ(puttygen.Wait(), 0);
    Child exported(
        {"puttygen", Path("putty.ppk"), "-O", "public-openssh", "-o", Path("putty.pub")});
    ASSERT_EQ(exported.Wait(), 0);
    StartServer(keys + ReadFile(Path("putty.pub")));

    EveryByteBothWays(Ssh("alice", "2323"), "2323");
    EveryByteBothWays(Ssh("alice", "com2"), "2424");
    EveryByteBothWays({"plink", "-ssh", "-batch", "-T", "-P", std::to_string(server.Port()), "-i",
                       Path("putty.ppk"), "-hostkey", hostKey.Fingerprint(), "com1@127.0.0.1"},
                      "2323");
    EXPECT_EQ(consoles.Joins()[0].client.name, "alice 127.0.0.1");
}

TEST_F(OpenSshClientTest, AnUnknownKeyIsRefused) {
    std::string keys = NewKey("alice");
    NewKey("mallory");
    StartServer(keys);
    Child session(Ssh("mallory", "2323"));
    EXPECT_NE(session.ReadUntil("Permission denied").find("Permission denied (publickey)"),
              std::string::npos);
    EXPECT_EQ(session.Wait(), 255);
    EXPECT_TRUE(consoles.Joins().empty());
}

TEST_F(OpenSshClientTest, AnyOtherNameListsTheConsolesTheKeyMayOpen) {
    StartServer(NewKey("alice") + NewKey("bob", "consoles=\"2424\""));
    Child listed(Ssh("alice", "nosuch"));
    std::string list = listed.ReadUntil("open it: ");
    EXPECT_NE(list.find("No console named nosuch. Consoles you may open:\r\n"), std::string::npos);
    EXPECT_NE(list.find("  2323  \\\\.\\pipe\\com1  Build VM     Ready\r\n"), std::string::npos)
        << list;
    listed.Write("2323\n");
    EXPECT_NE(listed.ReadUntil("console 2323\r\n").find("console 2323\r\n"), std::string::npos);

    // A console the key may not open is not even named to it, nor opened when typed.
    Child refused(Ssh("bob", "2323"));
    list = refused.ReadUntil("open it: ");
    EXPECT_EQ(list.find("com1"), std::string::npos) << list;
    EXPECT_NE(list.find("2424"), std::string::npos) << list;
    refused.Write("2323\n");
    EXPECT_NE(refused.ReadUntil("No console named 2323.\r\n").find("No console named 2323.\r\n"),
              std::string::npos);
    EXPECT_EQ(refused.Wait(), 1);
    EXPECT_EQ(consoles.Joins().size(), 1u);
}

TEST_F(OpenSshClientTest, AWatchKeyCannotTypeNorTakeAndCommandsAreHandedOn) {
    StartServer(NewKey("watcher", "watch"));
    {
        Child session(Ssh("watcher", "2323"));
        EXPECT_EQ(session.ReadUntil("console 2323\r\n"), "console 2323\r\n");
        session.Write("reboot\r");
        session.CloseInput();
        EXPECT_EQ(session.Wait(), 0);
    }
    ASSERT_EQ(consoles.Joins().size(), 1u);
    EXPECT_TRUE(consoles.Joins()[0].client.watching);
    EXPECT_EQ(consoles.Typed(), "");

    auto run = [&](const std::string& command, const std::string& expected, int exitCode) {
        std::vector<std::string> client = Ssh("watcher", "com1");
        client.push_back(command);
        Child session(client);
        EXPECT_NE(session.ReadUntil(expected).find(expected), std::string::npos) << command;
        EXPECT_EQ(session.Wait(), exitCode) << command;
    };
    run("who", "alice@2323 127.0.0.1\r\n", 0);
    run("take", "This key may only watch", 1);
    run("reboot", "Unknown command \"reboot\": the commands are watch, take and who.", 1);
    EXPECT_EQ(consoles.Joins().size(), 1u);
}

// A script's output that is read late (a busy pipe, a slow disk) arrives whole: the session
// ends only once the console has been quiet and nothing waits for the client.
TEST_F(OpenSshClientTest, AReaderThatIsLateBySecondsGetsAllOfALargeOutput) {
    consoles.streamBytes = 3u << 20;  // before the server's threads read it
    StartServer(NewKey("alice"));
    Child session(Ssh("alice", "2525"));
    session.CloseInput();  // as printf 'command\r' | ssh ... > out does, at once
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::string output = session.ReadAll(30);
    EXPECT_EQ(output.size(), 14 + consoles.streamBytes);
    EXPECT_EQ(output.rfind("console 2525\r\n", 0), 0u);
    EXPECT_EQ(session.Wait(), 0);
}

// A client that stops reading (its process stopped) while the console prints on costs a
// bounded amount of memory; it is let go, and when it wakes it is told why and ends with a
// status that says it was cut off.
TEST_F(OpenSshClientTest, AClientThatStopsReadingIsLetGoAndToldWhy) {
    consoles.streamBytes = 32u << 20;  // before the server's threads read it
    StartServer(NewKey("alice"));
    const size_t before = ResidentBytes();
    Child session(Ssh("alice", "2525"));
    ASSERT_NE(session.ReadUntil("console 2525\r\n").find("console 2525"), std::string::npos);
    session.Signal(SIGSTOP);
    size_t most = 0;
    for (int i = 0; i < 40; ++i) {
        most = std::max(most, ResidentBytes());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(Noticed("SSH: alice 127.0.0.1 was let go: too slow"));
    session.Signal(SIGCONT);
    std::string output = session.ReadAll(30);
    EXPECT_LT(output.size(), consoles.streamBytes);
    EXPECT_EQ(output.substr(output.size() - 30), "\r\n*** Disconnected: too slow\r\n");
    EXPECT_EQ(session.Wait(), 1);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // (a sanitizer keeps freed memory aside for a while, and counts its own)
    EXPECT_LT(most - before, size_t{32} << 20);
#endif
}

// What libssh 0.10.6 has advisories for is kept away: AES-GCM is not offered where libssh's
// cryptography is OpenSSL (CVE-2026-59847), a channel with tiny packets is refused before
// anything is written to it (CVE-2026-59843), and what a client sends after it ended its
// input or closed its channel never reaches the console (CVE-2026-59850).
TEST_F(OpenSshClientTest, TheLibsshAdvisoriesAreKeptAway) {
    StartServer(NewKey("alice"));
    std::vector<std::string> gcm = Ssh("alice", "2323");
    gcm.insert(gcm.begin() + 1, {"-c", "aes256-gcm@openssh.com", "-o", "LogLevel=INFO"});
    Child withGcm(gcm);
    if (ssh::LibsshUsesLibgcrypt()) {
        EXPECT_NE(withGcm.ReadUntil("console 2323").find("console 2323"), std::string::npos);
    } else {
        EXPECT_NE(withGcm.ReadUntil("no matching cipher").find("no matching cipher"),
                  std::string::npos);
        EXPECT_EQ(withGcm.Wait(), 255);
    }
    withGcm.CloseInput();

    const std::string hostile = std::string(TOLVI_TESTS_DIR) + "/ssh/hostile_client.py";
    Child tiny({"/usr/bin/python3", hostile, std::to_string(server.Port()), Path("alice"),
                "2323", "tiny-packets"});
    EXPECT_EQ(tiny.ReadUntil("\n"), "closed 0\n");
    EXPECT_TRUE(
        Noticed("SSH: alice 127.0.0.1 asked for packets of 10 bytes at most; its "
                "channel is refused"));
    Child late({"/usr/bin/python3", hostile, std::to_string(server.Port()), Path("alice"),
                "2323", "data-after-eof"});
    EXPECT_EQ(late.ReadUntil("\n"), "b'console 2323\\r\\nbefore'\n");
    EXPECT_EQ(late.Wait(), 0);
    EXPECT_EQ(consoles.Typed(), "before");
}

}  // namespace
}  // namespace tolvi::test
