// The server against the clients users have: OpenSSH's ssh and PuTTY's plink, with keys
// made by ssh-keygen and puttygen in the test's folder. Linux only: these are Linux programs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "SshTestSupport.h"

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

}  // namespace
}  // namespace tolvi::test
