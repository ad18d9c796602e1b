// The SSH server: its listeners (our own sockets, exclusive like the connectors' ports), the
// thread that accepts and hands each connection to libssh and to a session thread, the keys
// file read at each login, and the stop that reaches every thread.
#include "ssh/SshServer.h"

#include <atomic>
#include <list>
#include <mutex>
#include <random>
#include <vector>

#include "platform/ErrorText.h"
#include "platform/FileTrust.h"
#include "platform/Thread.h"
#include "platform/WaitSet.h"
#include "platform/WakeSignal.h"
#include "ssh/ClientSource.h"
#include "ssh/ConnectionPlaces.h"
#include "ssh/Libssh.h"
#include "ssh/SocketHandOver.h"
#include "ssh/SshSession.h"

namespace tolvi::ssh {

using platform::Endpoint;
using platform::ErrorKind;
using platform::SysError;
using platform::TcpSocket;

namespace {

// Modern algorithms only: what OpenSSH and PuTTY of recent years offer first.
const char kKeyExchange[] = "curve25519-sha256,curve25519-sha256@libssh.org";
const char kHostKeyTypes[] = "ssh-ed25519";
const char kClientKeyTypes[] =
    "ssh-ed25519,ecdsa-sha2-nistp256,ecdsa-sha2-nistp384,ecdsa-sha2-nistp521,rsa-sha2-512,"
    "rsa-sha2-256";
// AES-GCM only where libgcrypt is libssh's cryptography: libssh 0.10's OpenSSL backend did
// not check GCM's tag (CVE-2026-59847), and which backend a libssh has is its own word.
const char kCiphers[] = "chacha20-poly1305@openssh.com,aes256-ctr,aes192-ctr,aes128-ctr";
const char kCiphersWithGcm[] =
    "chacha20-poly1305@openssh.com,aes256-gcm@openssh.com,aes128-gcm@openssh.com,aes256-ctr,"
    "aes192-ctr,aes128-ctr";
const char kMacs[] =
    "hmac-sha2-256-etm@openssh.com,hmac-sha2-512-etm@openssh.com,hmac-sha2-256,hmac-sha2-512";

std::string Where(const Endpoint& at) {
    return at.family == platform::Family::V6 ? "[" + platform::AddressText(at) + "]"
                                             : platform::AddressText(at);
}

}  // namespace

struct SshServer::Impl {
    // A session and its thread; done once the session has ended and its libssh state is gone.
    struct Running {
        Impl* owner = nullptr;
        std::unique_ptr<SshSession> session;
        platform::WorkerThread thread;
        std::atomic<bool> done{false};
    };

    Impl(ConsoleDirectory& directory, SshEvents& events)
        : directory(directory), events(events), dice(std::random_device{}()) {}

    bool Configure(const HostKey& hostKey, std::string* why);
    bool OpenListener(const Endpoint& at, bool dualStack, bool* skipped, std::string* why);
    bool Listen(std::string* why);
    AuthorizedKeys ReadKeys();
    void Accept();
    void Admit(TcpSocket client);
    void Reap(bool all);
    // Tells what was closed at once, when a report is due; the wait until the next one.
    int Report();
    static void AcceptThread(void* self) { static_cast<Impl*>(self)->Accept(); }
    static void SessionThread(void* running);

    ConsoleDirectory& directory;
    SshEvents& events;
    SshSettings settings;
    UniqueBind bind;
    std::vector<TcpSocket> listeners;
    std::atomic<uint16_t> port{0};
    std::atomic<bool> running{false};
    platform::WakeSignal stop;      // ends the accepting thread's wait
    platform::WakeSignal ended;     // a session has ended and waits to be joined
    TcpSocket stopRead, stopWrite;  // readable for every session once the server stops
    platform::WorkerThread acceptThread;
    LoginPacer pacer;
    ConnectionPlaces places;
    std::minstd_rand dice;  // the accepting thread's: which connections a flood loses
    std::list<std::unique_ptr<Running>> sessions;  // the accepting thread's, and Stop's after it
    std::mutex keysLock;
    std::string keysSaid;  // the keys file's last report, said once
};

bool SshServer::Impl::Configure(const HostKey& hostKey, std::string* why) {
    bind.reset(ssh_bind_new());
    ssh_key raw = nullptr;
    if (!bind || hostKey.PrivateText().empty() ||
        ssh_pki_import_privkey_base64(hostKey.PrivateText().c_str(), nullptr, nullptr, nullptr,
                                      &raw) != SSH_OK) {
        *why = "The SSH server has no usable host key";
        return false;
    }
    UniqueKey key(raw);
    bool noConfig = false;  // no system-wide server configuration of libssh's applies here
    struct Option {
        ssh_bind_options_e which;
        const void* value;
    } options[] = {
        {SSH_BIND_OPTIONS_PROCESS_CONFIG, &noConfig},
        {SSH_BIND_OPTIONS_KEY_EXCHANGE, kKeyExchange},
        {SSH_BIND_OPTIONS_HOSTKEY_ALGORITHMS, kHostKeyTypes},
        {SSH_BIND_OPTIONS_PUBKEY_ACCEPTED_KEY_TYPES, kClientKeyTypes},
        {SSH_BIND_OPTIONS_CIPHERS_C_S, LibsshUsesLibgcrypt() ? kCiphersWithGcm : kCiphers},
        {SSH_BIND_OPTIONS_CIPHERS_S_C, LibsshUsesLibgcrypt() ? kCiphersWithGcm : kCiphers},
        {SSH_BIND_OPTIONS_HMAC_C_S, kMacs},
        {SSH_BIND_OPTIONS_HMAC_S_C, kMacs},
    };
    for (const Option& option : options) {
        if (ssh_bind_options_set(bind.get(), option.which, option.value) != SSH_OK) {
            *why = std::string("The SSH server could not be set up (") + ssh_get_error(bind.get()) +
                   ")";
            return false;
        }
    }
    // The bind owns the key from here on.
    if (ssh_bind_options_set(bind.get(), SSH_BIND_OPTIONS_IMPORT_KEY, key.get()) != SSH_OK) {
        *why = std::string("The SSH host key was refused (") + ssh_get_error(bind.get()) + ")";
        return false;
    }
    key.release();
    return true;
}

// skipped: the machine has no such family, or (dualStack) no socket that takes both.
bool SshServer::Impl::OpenListener(const Endpoint& at, bool dualStack, bool* skipped,
                                   std::string* why) {
    *skipped = false;
    SysError error;
    TcpSocket socket = TcpSocket::CreateStream(&error, at.family);
    if (!socket.IsValid() && error.Is(ErrorKind::NotOnThisMachine)) {
        *skipped = true;
        return false;
    }
    if (!error.Failed())
        error = socket.SetExclusivePort();
    if (!error.Failed() && dualStack && socket.SetDualStack().Failed()) {
        *skipped = true;
        return false;
    }
    if (!error.Failed())
        error = socket.Bind(at);
    if (error.Is(ErrorKind::NotOnThisMachine) && settings.listenAddress.empty()) {
        *skipped = true;
        return false;
    }
    if (!error.Failed())
        error = socket.Listen(128);  // a flood's connections must not fill the queue
    if (!error.Failed())
        error = socket.SetNonBlocking();
    Endpoint bound = at;
    if (!error.Failed())
        error = socket.LocalEndpoint(&bound);
    if (error.Is(ErrorKind::AddressInUse) || error.Is(ErrorKind::AccessDenied)) {
        *why = "SSH port " + std::to_string(at.port) + " is used by another application";
        return false;
    }
    if (error.Failed()) {
        *why = "The SSH server could not listen on " + Where(at) + " port " +
               std::to_string(at.port) + " (" + platform::GetSystemErrorText(error.code) + ")";
        return false;
    }
    port = bound.port;
    listeners.push_back(std::move(socket));
    return true;
}

bool SshServer::Impl::Listen(std::string* why) {
    bool skipped = false;
    if (!settings.listenAddress.empty()) {
        Endpoint at;
        if (!platform::ParseAddress(settings.listenAddress, &at)) {
            *why = "Incorrect SSH listen address provided";
            return false;
        }
        at.port = settings.port;
        return OpenListener(at, false, &skipped, why);
    }
    // Every interface: one IPv6 socket that takes IPv4 too, or else one socket a family (the
    // second on the port the first was given), or IPv4 alone on a machine without IPv6.
    if (OpenListener(Endpoint::AnyV6(settings.port), true, &skipped, why))
        return true;
    if (!skipped)
        return false;
    if (!OpenListener(Endpoint::AnyV6(settings.port), false, &skipped, why) && !skipped)
        return false;
    if (OpenListener(Endpoint::AnyV4(listeners.empty() ? settings.port : port.load()), false,
                     &skipped, why))
        return true;
    if (skipped && !listeners.empty())
        return true;
    if (skipped)
        *why = "The SSH server found no address to listen on";
    return false;
}

AuthorizedKeys SshServer::Impl::ReadKeys() {
    AuthorizedKeys keys;
    std::string text, reason, report;
    const std::string& path = settings.keysFile;
    bool cut = false;
    // A keys file that somebody else could have written decides nothing (as OpenSSH's
    // StrictModes): they would choose who logs in.
    platform::FileTrust trust = platform::CheckFileAndFolderTrust(path);
    ReadResult read = trust.trusted ? ReadSmallFile(path, &text, &reason, kMaxKeysFileSize, &cut)
                                    : ReadResult::Untrusted;
    switch (read) {
        case ReadResult::Untrusted:
            report = "SSH: keys file " + path + " is not used: it " + trust.why +
                     ": nobody can log in over SSH";
            break;
        case ReadResult::Read:
            keys = AuthorizedKeys::Parse(text, cut);
            for (const std::string& problem : keys.problems)
                report += (report.empty() ? "SSH: keys file " + path + ", " : "; ") + problem;
            if (keys.keys.empty() && report.empty())
                report = "SSH: keys file " + path + " holds no key: nobody can log in over SSH";
            break;
        case ReadResult::Missing:
            report = "SSH: keys file " + path + " does not exist: nobody can log in over SSH";
            break;
        case ReadResult::Failed:
            report = "SSH: keys file " + path + " cannot be read (" + reason +
                     "): nobody can log in over SSH";
            break;
    }
    std::lock_guard<std::mutex> guard(keysLock);
    if (report != keysSaid) {
        keysSaid = report;
        if (!report.empty())
            events.OnSshProblem(report);
    }
    return keys;
}

void SshServer::Impl::SessionThread(void* argument) {
    auto* running = static_cast<Running*>(argument);
    running->session->Run();
    running->session.reset();
    running->done = true;
    running->owner->ended.Set();
}

void SshServer::Impl::Reap(bool all) {
    for (auto it = sessions.begin(); it != sessions.end();) {
        if (all || (*it)->done) {
            (*it)->thread.Join();
            it = sessions.erase(it);
        } else {
            ++it;
        }
    }
}

void SshServer::Impl::Admit(TcpSocket client) {
    Endpoint peer;
    client.PeerAddress(&peer);
    std::string address = platform::AddressText(peer);
    std::string source = SourceOf(address);
    std::uniform_int_distribution<int> percent(0, 99);
    if (places.Enter(source, percent(dice)) != ConnectionPlaces::Entry::Admitted)
        return;  // closed at once, and counted for the report
    ssh_session session = ssh_new();
    intptr_t descriptor = -1;
    std::string why;
    if (!session || !DescriptorForLibssh(client, &descriptor, &why)) {
        if (session)
            ssh_free(session);
        places.Leave(source, false);
        events.OnSshNotice("SSH: a connection from " + address + " could not be served (" +
                           (why.empty() ? "out of memory" : why) + ")");
        return;
    }
    client.Close();
    if (ssh_bind_accept_fd(bind.get(), session, static_cast<socket_t>(descriptor)) != SSH_OK) {
        if (ssh_get_fd(session) != static_cast<socket_t>(descriptor))
            CloseDescriptor(descriptor);
        ssh_free(session);
        places.Leave(source, false);
        return;
    }
    SessionContext context;
    context.directory = &directory;
    context.events = &events;
    context.pacer = &pacer;
    context.places = &places;
    context.keys = [this] { return ReadKeys(); };
    context.stopDescriptor = stopRead.Native();
    auto running = std::make_unique<Running>();
    running->owner = this;
    running->session = std::make_unique<SshSession>(context, session, address, source);
    if (running->thread.Start(SessionThread, running.get()).Failed()) {
        events.OnSshNotice("SSH: no thread for a connection from " + address);
        return;  // the session closes the connection as it goes, and gives its place back
    }
    sessions.push_back(std::move(running));
}

int SshServer::Impl::Report() {
    std::string line = places.Report();
    if (!line.empty())
        events.OnSshNotice(line);
    ConnectionPlaces::Clock::time_point due = places.ReportDue();
    if (due == ConnectionPlaces::Clock::time_point{})
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(due - ConnectionPlaces::Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

void SshServer::Impl::Accept() {
    platform::WaitSet waits;
    int timeoutMs = -1;
    while (!stop.IsSet()) {
        waits.Clear();
        waits.Add(stop);
        waits.Add(ended);
        for (TcpSocket& listener : listeners)
            waits.Add(listener, true, false);
        SysError error = waits.Wait(timeoutMs);
        if (stop.IsSet())
            break;
        if (error.Failed()) {
            events.OnSshProblem("SSH: the server stopped accepting connections (" +
                                platform::GetSystemErrorText(error.code) + ")");
            break;
        }
        ended.Reset();
        Reap(false);
        bool resting = false;
        for (TcpSocket& listener : listeners) {
            for (;;) {
                TcpSocket client;
                error = listener.Accept(&client);
                if (!error.Failed()) {
                    Admit(std::move(client));
                } else if (!error.PeerGone()) {
                    // Out of descriptors and the like: the next try waits a second, so that
                    // a listener that stays ready does not spin.
                    resting = resting || !error.Is(ErrorKind::WouldBlock);
                    break;
                }
            }
        }
        timeoutMs = Report();
        if (resting)
            timeoutMs = timeoutMs < 0 ? 1000 : std::min(timeoutMs, 1000);
    }
}

SshServer::SshServer(ConsoleDirectory& directory, SshEvents& events)
    : impl(std::make_unique<Impl>(directory, events)) {}

SshServer::~SshServer() {
    Stop();
}

bool SshServer::Start(const SshSettings& settings, const HostKey& hostKey, std::string* why) {
    Stop();
    Impl& s = *impl;
    s.settings = settings;
    s.keysSaid.clear();
    if (!StartLibssh()) {
        *why = "libssh could not be started";
        return false;
    }
    SysError error = platform::ConnectedPair(&s.stopRead, &s.stopWrite);
    if (error.Failed()) {
        *why = "The SSH server could not be started (" + platform::GetSystemErrorText(error.code) +
               ")";
        return false;
    }
    if (!s.Configure(hostKey, why) || !s.Listen(why) ||
        (error = s.acceptThread.Start(Impl::AcceptThread, &s)).Failed()) {
        if (error.Failed())
            *why =
                "The SSH server has no thread (" + platform::GetSystemErrorText(error.code) + ")";
        s.listeners.clear();
        s.bind.reset();
        s.stopRead.Close();
        s.stopWrite.Close();
        s.port = 0;
        return false;
    }
    s.running = true;
    s.ReadKeys();  // what is wrong with the keys file is said at the start already
    return true;
}

void SshServer::Stop() {
    Impl& s = *impl;
    if (!s.running)
        return;
    s.stop.Set();
    const char byte = 0;
    s.stopWrite.Send(&byte, 1);  // never read: every session's wait sees it from now on
    s.acceptThread.Join();
    s.Reap(true);
    s.listeners.clear();
    s.bind.reset();
    s.stopRead.Close();
    s.stopWrite.Close();
    s.stop.Reset();
    s.ended.Reset();
    s.port = 0;
    s.running = false;
}

bool SshServer::IsRunning() const {
    return impl->running;
}

uint16_t SshServer::Port() const {
    return impl->port;
}

}  // namespace tolvi::ssh
