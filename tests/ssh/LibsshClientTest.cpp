// The server against libssh's own client in this process: it runs natively and under wine,
// so the Windows build's server is exercised end to end there too.

#include <chrono>
#include <string>

#include "SshTestSupport.h"
#include "ssh/Libssh.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tolvi::test {
namespace {

struct KeyFree {
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using Key = std::unique_ptr<ssh_key_struct, KeyFree>;

Key NewKey() {
    ssh_key key = nullptr;
    EXPECT_EQ(ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &key), SSH_OK);
    return Key(key);
}

std::string KeyLine(const Key& key, const std::string& comment) {
    ssh_key pub = nullptr;
    char* base64 = nullptr;
    ssh_pki_export_privkey_to_pubkey(key.get(), &pub);
    ssh_pki_export_pubkey_base64(pub, &base64);
    std::string line = std::string("ssh-ed25519 ") + base64 + " " + comment + "\n";
    ssh_string_free_char(base64);
    ssh_key_free(pub);
    return line;
}

// One client connection with its session channel.
class Client {
  public:
    ~Client() {
        if (channel)
            ssh_channel_free(channel);
        ssh_disconnect(session);
        ssh_free(session);
    }
    // Connects as user and tells the server's fingerprint.
    bool Connect(uint16_t port, const std::string& user, std::string* fingerprint) {
        int verbosity = SSH_LOG_NOLOG;
        long timeout = 10;
        unsigned int p = port;
        bool noConfig = false;
        ssh_options_set(session, SSH_OPTIONS_HOST, "127.0.0.1");
        ssh_options_set(session, SSH_OPTIONS_PORT, &p);
        ssh_options_set(session, SSH_OPTIONS_USER, user.c_str());
        ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout);
        ssh_options_set(session, SSH_OPTIONS_LOG_VERBOSITY, &verbosity);
        ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &noConfig);
        if (ssh_connect(session) != SSH_OK)
            return false;
        ssh_key server = nullptr;
        ssh_get_server_publickey(session, &server);
        *fingerprint = ssh::Sha256Fingerprint(server);
        ssh_key_free(server);
        return true;
    }
    bool OpenShell() {
        channel = ssh_channel_new(session);
        return ssh_channel_open_session(channel) == SSH_OK &&
               ssh_channel_request_shell(channel) == SSH_OK;
    }
    // Reads until size bytes came, the channel ended or 10 s passed.
    std::string Read(size_t size) {
        std::string got;
        char buffer[4096];
        while (got.size() < size) {
            int n = ssh_channel_read_timeout(channel, buffer, sizeof buffer, 0, 10000);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    ssh_session session = ssh_new();
    ssh_channel channel = nullptr;
};

class LibsshClientTest : public SshTest {};

TEST_F(LibsshClientTest, AKeyOpensItsConsoleAndEveryByteCrossesBothWays) {
    Key alice = NewKey();
    StartServer(KeyLine(alice, "alice@laptop"));
    Client client;
    std::string fingerprint;
    ASSERT_TRUE(client.Connect(server.Port(), "2323", &fingerprint));
    EXPECT_EQ(fingerprint, hostKey.Fingerprint());
    ASSERT_EQ(ssh_userauth_publickey(client.session, nullptr, alice.get()), SSH_AUTH_SUCCESS);
    ASSERT_TRUE(client.OpenShell());
    EXPECT_EQ(client.Read(14), "console 2323\r\n");
    std::string every;
    for (int i = 0; i < 256; ++i)
        every += static_cast<char>(i);
    ASSERT_EQ(ssh_channel_write(client.channel, every.data(), 256), 256);
    EXPECT_EQ(client.Read(256), every);
    ASSERT_EQ(consoles.Joins().size(), 1u);
    EXPECT_EQ(consoles.Joins()[0].client.name, "alice@laptop 127.0.0.1");
    EXPECT_FALSE(consoles.Joins()[0].client.watching);
    EXPECT_TRUE(Noticed("alice@laptop 127.0.0.1 opened console 2323"));

    // A stop ends the live session at once: the client sees its console end.
    auto before = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ(client.Read(1), "");
}

TEST_F(LibsshClientTest, AnUnknownKeyAndAPasswordAreRefused) {
    Key alice = NewKey(), mallory = NewKey();
    StartServer(KeyLine(alice, "alice@laptop"));
    Client client;
    std::string fingerprint;
    ASSERT_TRUE(client.Connect(server.Port(), "2323", &fingerprint));
    EXPECT_EQ(ssh_userauth_publickey(client.session, nullptr, mallory.get()), SSH_AUTH_DENIED);
    EXPECT_EQ(ssh_userauth_password(client.session, nullptr, "secret"), SSH_AUTH_DENIED);
    EXPECT_EQ(ssh_userauth_list(client.session, nullptr), SSH_AUTH_METHOD_PUBLICKEY);
    ssh_disconnect(client.session);
    EXPECT_TRUE(consoles.Joins().empty());
    EXPECT_TRUE(
        WaitUntil([&] { return Noticed("SSH: login refused from 127.0.0.1: key SHA256:"); }, 5000));
}

TEST_F(LibsshClientTest, TheHostKeyIsKeptAndNeverReplaced) {
    StartServer("");
    EXPECT_TRUE(hostKey.Created());
    EXPECT_TRUE(Noticed("holds no key: nobody can log in"));
    server.Stop();
    ssh::HostKey again;
    std::string why;
    ASSERT_TRUE(again.LoadOrCreate(Path("host_key"), ssh::FileAccess::CurrentUser, &why)) << why;
    EXPECT_FALSE(again.Created());
    EXPECT_EQ(again.Fingerprint(), hostKey.Fingerprint());
    EXPECT_EQ(again.Fingerprint().rfind("SHA256:", 0), 0u);
    EXPECT_EQ(again.Fingerprint().size(), 7u + 43u);
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(stat(Path("host_key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
#endif
    // Restarted with the same key, the server shows the same fingerprint.
    ASSERT_TRUE(
        server.Start(ssh::SshSettings{0, "127.0.0.1", Path("authorized_keys")}, again, &why));
    Client client;
    std::string fingerprint;
    ASSERT_TRUE(client.Connect(server.Port(), "2323", &fingerprint));
    EXPECT_EQ(fingerprint, hostKey.Fingerprint());

    WriteFile(Path("damaged"), "not a key\n");
    EXPECT_FALSE(again.LoadOrCreate(Path("damaged"), ssh::FileAccess::CurrentUser, &why));
    EXPECT_NE(why.find("is not a private key"), std::string::npos) << why;
    std::string text;
    EXPECT_EQ(ssh::ReadSmallFile(Path("damaged"), &text, &why), ssh::ReadResult::Read);
    EXPECT_EQ(text, "not a key\n");
}

}  // namespace
}  // namespace tolvi::test
