// The server against libssh's own client in this process: it runs natively and under wine,
// so the Windows build's server is exercised end to end there too.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SshTestSupport.h"
#include "ssh/ConnectionPlaces.h"
#include "ssh/Libssh.h"
#include "support/SocketTools.h"

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
    // Connects as user (from the address from, when given) and tells the server's
    // fingerprint.
    bool Connect(uint16_t port, const std::string& user, std::string* fingerprint,
                 const char* from = nullptr) {
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
        if (from)
            ssh_options_set(session, SSH_OPTIONS_BINDADDR, from);
        if (ssh_connect(session) != SSH_OK)
            return false;
        ssh_key server = nullptr;
        ssh_get_server_publickey(session, &server);
        *fingerprint = ssh::Sha256Fingerprint(server);
        ssh_key_free(server);
        return true;
    }
    // Connects and logs in with key, then opens its shell.
    bool Open(uint16_t port, const std::string& user, const Key& key, const char* from = nullptr) {
        std::string fingerprint;
        return Connect(port, user, &fingerprint, from) &&
               ssh_userauth_publickey(session, nullptr, key.get()) == SSH_AUTH_SUCCESS &&
               OpenShell();
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

    // A stop ends the live session at once: the client is told why, and how it ended.
    auto before = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ(client.Read(1000), "\r\n*** The console server stopped\r\n");
    EXPECT_EQ(ssh_channel_get_exit_status(client.channel), 1);
}

// What the client pastes reaches a console that takes it a little at a time whole: what its
// connection did not take of a piece is kept for it (on Windows the connection is loopback
// TCP, which takes part of a piece as soon as its buffers fill).
TEST_F(LibsshClientTest, APasteReachesASlowConsoleWhole) {
    Key alice = NewKey();
    StartServer(KeyLine(alice, "alice"));
    Client client;
    ASSERT_TRUE(client.Open(server.Port(), "2626", alice));
    EXPECT_EQ(client.Read(14), "console 2626\r\n");
    std::string paste;
    for (size_t i = 0; paste.size() < (4u << 20); ++i)
        paste += std::to_string(i) + " ";
    for (size_t done = 0; done < paste.size();) {
        int n =
            ssh_channel_write(client.channel, paste.data() + done,
                              static_cast<uint32_t>(std::min<size_t>(paste.size() - done, 65536)));
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
    EXPECT_TRUE(WaitUntil([&] { return consoles.Typed().size() >= paste.size(); }, 30000));
    EXPECT_TRUE(consoles.Typed() == paste) << consoles.Typed().size() << " of " << paste.size();
}

// A connection gets six tries at a key, and not one more.
TEST_F(LibsshClientTest, SixKeysAreTriedAndNoMore) {
    Key alice = NewKey();
    // A keys file over 1 MiB is read too: what admits is its first line.
    StartServer(KeyLine(alice, "alice") + std::string(2 << 20, '#') + "\n");
    std::vector<Key> strangers;
    for (int i = 0; i < 6; ++i)
        strangers.push_back(NewKey());
    for (int refused : {5, 6}) {
        Client client;
        std::string fingerprint;
        ASSERT_TRUE(client.Connect(server.Port(), "2323", &fingerprint));
        for (int i = 0; i < refused; ++i)
            EXPECT_EQ(ssh_userauth_publickey(client.session, nullptr, strangers[i].get()),
                      SSH_AUTH_DENIED);
        int last = ssh_userauth_publickey(client.session, nullptr, alice.get());
        EXPECT_EQ(last == SSH_AUTH_SUCCESS, refused == 5) << refused << " refused first";
    }
}

// Strangers who never log in keep nobody else out: 300 connections from 127.0.0.2 that send
// nothing, and alice logs in from 127.0.0.1 as if they were not there. Beyond ten from one
// address they are closed at once, and that is said once, with its count.
TEST_F(LibsshClientTest, AFloodOfStrangersKeepsNobodyOut) {
#ifdef _WIN32
    const int flood = 40;  // wine's sockets are slower to make
#else
    const int flood = 300;
#endif
    Key alice = NewKey();
    StartServer(KeyLine(alice, "alice"));
    std::vector<platform::TcpSocket> strangers(flood);
    for (platform::TcpSocket& stranger : strangers) {
        platform::SysError error;
        stranger = platform::TcpSocket::CreateStream(&error);
        ASSERT_FALSE(stranger.Bind(At("127.0.0.2", 0)).Failed());
        ASSERT_FALSE(Connect(stranger, "127.0.0.1", server.Port()).Failed());
    }
    Client client;
    ASSERT_TRUE(client.Open(server.Port(), "2323", alice));
    EXPECT_EQ(client.Read(14), "console 2323\r\n");
    // The server spoke first to the ten it keeps (its banner); the rest it closed.
    int closed = 0;
    for (platform::TcpSocket& stranger : strangers) {
        char buffer[256];
        if (WaitReadable(stranger, 5000000) == 1 &&
            stranger.Receive(buffer, sizeof buffer).count <= 0)
            ++closed;
    }
    EXPECT_EQ(closed, flood - static_cast<int>(ssh::ConnectionPlaces::kPerSource));
    EXPECT_TRUE(WaitUntil([&] { return Noticed("connections closed at once: "); }, 10000));
    EXPECT_EQ(notices.Count("closed at once"), 1u) << notices.Lines();
    EXPECT_TRUE(Noticed(" beyond 10 not logged in from one address (most from 127.0.0.2: "))
        << notices.Lines();
}

#ifndef _WIN32
// 64 sessions at once; the 65th is closed at once. Sessions that ended give their places
// back: after them, one more is served.
TEST_F(LibsshClientTest, SixtyFourSessionsAtOnce) {
    Key alice = NewKey();
    StartServer(KeyLine(alice, "alice"));
    std::vector<std::unique_ptr<Client>> clients;
    for (size_t i = 0; i < ssh::ConnectionPlaces::kMaxSessions; ++i) {
        clients.push_back(std::make_unique<Client>());
        ASSERT_TRUE(clients.back()->Open(server.Port(), "2323", alice)) << i;
        ASSERT_EQ(clients.back()->Read(14), "console 2323\r\n");  // it holds its place now
    }
    Client more;
    std::string fingerprint;
    EXPECT_FALSE(more.Connect(server.Port(), "2323", &fingerprint));
    clients.clear();
    Client again;
    EXPECT_TRUE(WaitUntil([&] { return again.Open(server.Port(), "2323", alice); }, 5000));
    EXPECT_EQ(again.Read(14), "console 2323\r\n");
}
#endif

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
    EXPECT_TRUE(WaitUntil(
        [&] { return Noticed("SSH: login refused from 127.0.0.1 as \"2323\": key SHA256:"); },
        5000));
    ssh_key pub = nullptr;
    ssh_pki_export_privkey_to_pubkey(mallory.get(), &pub);
    EXPECT_EQ(notices.Refused(),
              std::vector<std::string>{"127.0.0.1|2323|" + ssh::Sha256Fingerprint(pub)});
    ssh_key_free(pub);
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

#ifndef _WIN32
    // A host key of another type is refused, and the line says so. (libssh over libgcrypt
    // writes no other key than Ed25519 to test with.)
    Key rsa;
    {
        ssh_key made = nullptr;
        ASSERT_EQ(ssh_pki_generate(SSH_KEYTYPE_RSA, 1024, &made), SSH_OK);
        rsa.reset(made);
        char* text = nullptr;
        ASSERT_EQ(ssh_pki_export_privkey_base64(made, nullptr, nullptr, nullptr, &text), SSH_OK);
        WriteFile(Path("rsa"), text);
        ssh_string_free_char(text);
    }
    EXPECT_FALSE(again.LoadOrCreate(Path("rsa"), ssh::FileAccess::CurrentUser, &why));
    EXPECT_EQ(why, "The SSH host key " + Path("rsa") + " is not an Ed25519 key");
#endif

    WriteFile(Path("damaged"), "not a key\n");
    EXPECT_FALSE(again.LoadOrCreate(Path("damaged"), ssh::FileAccess::CurrentUser, &why));
    EXPECT_NE(why.find("is not a private key"), std::string::npos) << why;
    std::string text;
    EXPECT_EQ(ssh::ReadSmallFile(Path("damaged"), &text, &why), ssh::ReadResult::Read);
    EXPECT_EQ(text, "not a key\n");
}

}  // namespace
}  // namespace tolvi::test
