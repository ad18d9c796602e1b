// Managing the tolvi service from the command line: install and uninstall it, start and stop
// it, change the machine's connectors, list them, and ask the running service how they are.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/ConfigurationStore.h"
#include "model/AuditTrail.h"
#include "model/ConnectorArguments.h"
#include "model/ConnectorOptions.h"
#include "model/ConnectorValidation.h"
#include "engine/Format.h"
#include "engine/PortText.h"
#include "platform/Endpoint.h"
#include "platform/ErrorText.h"
#include "platform/FileTrust.h"
#include "platform/RegistryStore.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "service/MachineConnectors.h"
#include "service/ServiceFolders.h"
#include "service/ServiceRunner.h"
#include "service/ServiceStatus.h"
#include "service/win32/ServiceQuery.h"
#include "service/win32/WindowsService.h"

namespace tolvi::service {

const char kServiceUsage[] =
    "usage: tolvi-relay service COMMAND\n"
    "  install [--user-connectors]  install the service (starts with Windows); with\n"
    "                               --user-connectors, copy your connectors to the machine's\n"
    "  uninstall                    stop and remove the service (its connectors are kept)\n"
    "  start | stop                 start or stop the service\n"
    "  add PIPE PORT [options]      add a connector to the service (options as for tolvi-relay)\n"
    "  remove PORT                  remove the service's connector on PORT\n"
    "  list                         the service's connectors as stored\n"
    "  status [--json]              the service's connectors as they run; with --json, as\n"
    "                               JSON for scripts\n"
    "  ssh PORT [--listen ADDR]     serve the consoles over SSH on PORT (0: not at all), with\n"
    "                               the keys of %ProgramData%\\tolvi\\ssh\\authorized_keys\n"
    "Every command but list and status needs administrator rights.\n";

namespace {

constexpr int kUsage = 2;
constexpr int kNotAdministrator = 5;
const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\tolvi";
const char kUserConnectorsKey[] = "Interface\\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}";

using platform::UniqueService;

int Fail(const std::string& text) {
    std::fprintf(stderr, "tolvi-relay: %s\n", text.c_str());
    return 1;
}

std::string SystemText(DWORD code) {
    return platform::GetSystemErrorText(static_cast<int>(code));
}

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &admins)) {
        return false;
    }
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member))
        member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

int NotAdministrator() {
    std::fprintf(stderr,
                 "tolvi-relay: this needs administrator rights: run it from a command prompt "
                 "started with \"Run as administrator\"\n");
    return kNotAdministrator;
}

// A failure to open the Service Control Manager or the machine's key for writing is a missing
// right far more often than anything else.
int Refused(DWORD code, const std::string& what) {
    if (code == ERROR_ACCESS_DENIED)
        return NotAdministrator();
    return Fail(what + " (" + SystemText(code) + ")");
}

std::string ProgramPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return "";
        if (n < path.size())
            return platform::Narrow(path.data(), static_cast<int>(n));
        path.resize(path.size() * 2);
    }
}

UniqueService OpenManager(DWORD access, DWORD* code) {
    UniqueService scm(OpenSCManagerW(nullptr, nullptr, access));
    *code = scm ? 0 : GetLastError();
    return scm;
}

// The installed service with access, or 0 and the exit code that tells why there is none.
struct Opened {
    UniqueService scm, service;
    int exitCode = 0;
};
Opened OpenTolvi(DWORD access) {
    Opened o;
    DWORD code = 0;
    o.scm = OpenManager(SC_MANAGER_CONNECT, &code);
    if (!o.scm) {
        o.exitCode = Refused(code, "the Service Control Manager cannot be opened");
        return o;
    }
    o.service.reset(OpenServiceW(o.scm.get(), kServiceName, access));
    if (!o.service) {
        code = GetLastError();
        o.exitCode = code == ERROR_SERVICE_DOES_NOT_EXIST
                         ? Fail("the tolvi service is not installed")
                         : Refused(code, "the service cannot be opened");
    }
    return o;
}

// Waits up to ms for the service to reach state; false when it has not.
bool WaitFor(SC_HANDLE service, DWORD state, DWORD ms, SERVICE_STATUS* status) {
    DWORD start = GetTickCount();
    for (;;) {
        if (!QueryServiceStatus(service, status))
            return false;
        if (status->dwCurrentState == state)
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(50);
    }
}

std::unique_ptr<platform::KeyValueStore> MachineStore() {
    return platform::OpenRegistryStore(platform::RegistryRoot::LocalMachine, kMachineConnectorsKey);
}

// The machine's options (where the service serves SSH) as stored, kept by every save.
AppOptions MachineOptions() {
    return LoadConfiguration(*MachineStore(), AppOptions{}).options;
}

int SaveMachine(const std::vector<ConnectorSettings>& connectors,
                const AppOptions& options = MachineOptions()) {
    auto store = MachineStore();
    platform::SysError opened = store->OpenForWrite();
    store->Close();
    if (opened.Failed())
        return Refused(static_cast<DWORD>(opened.code),
                       "the machine's connectors cannot be written");
    if (SaveConfiguration(*store, connectors, options) != SaveResult::Saved)
        return Fail("the machine's connectors could not be saved");
    return 0;
}

std::vector<ConnectorSettings> LoadMachine() {
    return MachineConnectors();
}

// The machine's connectors as the checks of a new one see them.
std::vector<RowKey> RowsOf(const std::vector<ConnectorSettings>& connectors) {
    std::vector<RowKey> rows;
    for (const ConnectorSettings& c : connectors)
        rows.push_back(RowKey{c.pipeName, c.portText, c.watchPort});
    return rows;
}

int Install(const std::vector<std::string>& args) {
    bool userConnectors = false;
    for (const std::string& a : args) {
        if (a != "--user-connectors") {
            Fail("unknown option " + a + " for install");
            return kUsage;
        }
        userConnectors = true;
    }
    if (!IsAdministrator())
        return NotAdministrator();
    DWORD code = 0;
    UniqueService scm = OpenManager(SC_MANAGER_ALL_ACCESS, &code);
    if (!scm)
        return Refused(code, "the Service Control Manager cannot be opened");
    std::wstring command = L"\"" + platform::Widen(ProgramPath()) + L"\" service run";
    // LocalSystem: Hyper-V's and other pipes that only administrators may write can be opened.
    UniqueService service(CreateServiceW(scm.get(), kServiceName, kServiceDisplayName,
                                         SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(),
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        code = GetLastError();
        if (code == ERROR_SERVICE_EXISTS)
            return Fail("the tolvi service is installed already");
        return Refused(code, "the service could not be installed");
    }
    wchar_t description[] =
        L"Makes the consoles of virtual machines and services on named pipes reachable over "
        L"TCP from boot, before anyone logs on. Its connectors are managed with "
        L"\"tolvi-relay service\".";
    // The service runs without these, so a setting that does not take is said, not fatal.
    auto set = [&service](DWORD level, void* info, const char* what) {
        if (!ChangeServiceConfig2W(service.get(), level, info)) {
            std::fprintf(stderr,
                         "tolvi-relay: the service is installed, but its %s could not be set "
                         "(%s)\n",
                         what, SystemText(GetLastError()).c_str());
        }
    };
    SERVICE_DESCRIPTIONW about{description};
    set(SERVICE_CONFIG_DESCRIPTION, &about, "description");
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    set(SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "delayed start");
    SC_ACTION restarts[3] = {
        {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 60000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = restarts;
    set(SERVICE_CONFIG_FAILURE_ACTIONS, &failure, "restart on failure");
    // Also when it stops with an error of its own, not only when it crashes.
    SERVICE_FAILURE_ACTIONS_FLAG onErrors{TRUE};
    set(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrors, "restart after its own errors");
    SERVICE_PRESHUTDOWN_INFO preshutdown{10000};
    set(SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown, "time to stop at shutdown");

    auto source =
        platform::OpenRegistryStore(platform::RegistryRoot::LocalMachine, kEventSourceKey);
    if (source->OpenForWrite().Failed()) {
        std::fprintf(stderr, "tolvi-relay: the service is installed, but its event log texts "
                             "could not be registered\n");
    } else {
        std::string path = ProgramPath();
        source->SetValue("EventMessageFile", 2 /* REG_EXPAND_SZ */, path.c_str(), path.size() + 1);
        DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
        source->SetValue("TypesSupported", platform::kTypeDword, &types, sizeof types);
        source->Close();
    }
    std::printf("tolvi-relay: the tolvi service is installed; it starts with Windows\n");
    if (!userConnectors)
        return 0;
    auto user =
        platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot, kUserConnectorsKey);
    std::vector<ConnectorSettings> machine = LoadMachine();
    int copied = 0;
    for (const ConnectorSettings& s : LoadConfiguration(*user, AppOptions{}).connectors) {
        Verdict verdict = ValidateConnector(DialogKind::Add, s, RowsOf(machine), -1);
        if (!verdict.accepted) {
            std::printf("tolvi-relay: %s on port %s is kept out: %s\n", s.pipeName.c_str(),
                        s.portText.c_str(), verdict.message.c_str());
            continue;
        }
        machine.push_back(s);
        ++copied;
    }
    if (int failed = SaveMachine(machine))
        return failed;
    std::printf("tolvi-relay: %d of your connectors copied to the service's\n", copied);
    return 0;
}

int Stop(bool quiet) {
    if (!IsAdministrator())
        return NotAdministrator();
    Opened tolvi = OpenTolvi(SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!tolvi.service)
        return tolvi.exitCode;
    SERVICE_STATUS status{};
    if (!ControlService(tolvi.service.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD code = GetLastError();
        if (code == ERROR_SERVICE_NOT_ACTIVE) {
            if (!quiet)
                std::printf("tolvi-relay: the tolvi service is not running\n");
            return 0;
        }
        return Refused(code, "the service could not be stopped");
    }
    if (!WaitFor(tolvi.service.get(), SERVICE_STOPPED, ServiceRunner::kStopHintMs + 2000, &status))
        return Fail("the tolvi service did not stop in time");
    if (!quiet)
        std::printf("tolvi-relay: the tolvi service stopped\n");
    return 0;
}

int Uninstall() {
    if (!IsAdministrator())
        return NotAdministrator();
    if (int failed = Stop(true))
        return failed;
    Opened tolvi = OpenTolvi(DELETE);
    if (!tolvi.service)
        return tolvi.exitCode;
    if (!DeleteService(tolvi.service.get()))
        return Refused(GetLastError(), "the service could not be removed");
    platform::DeleteRegistryKey(platform::RegistryRoot::LocalMachine, kEventSourceKey);
    std::printf(
        "tolvi-relay: the tolvi service is removed; its connectors are kept in "
        "HKEY_LOCAL_MACHINE\\%s\n",
        kMachineConnectorsKey);
    return 0;
}

int Start() {
    if (!IsAdministrator())
        return NotAdministrator();
    Opened tolvi = OpenTolvi(SERVICE_START | SERVICE_QUERY_STATUS);
    if (!tolvi.service)
        return tolvi.exitCode;
    if (!StartServiceW(tolvi.service.get(), 0, nullptr)) {
        DWORD code = GetLastError();
        if (code != ERROR_SERVICE_ALREADY_RUNNING)
            return Refused(code, "the service could not be started");
    }
    SERVICE_STATUS status{};
    if (!WaitFor(tolvi.service.get(), SERVICE_RUNNING, ServiceRunner::kStartHintMs, &status)) {
        if (status.dwCurrentState == SERVICE_STOPPED) {
            return Fail(
                Format("the tolvi service stopped at once (error %lu, its own %lu): see "
                       "the event log",
                       status.dwWin32ExitCode, status.dwServiceSpecificExitCode));
        }
        return Fail("the tolvi service has not started yet");
    }
    std::printf("tolvi-relay: the tolvi service is running\n");
    return 0;
}

// The service's audit trail hears who changed its connectors: the command, and then its own
// reload, which applies the change.
// Before the service's first start its folders are made here, as the service makes them.
void AuditChange(const ConnectorSettings& connector, const std::string& change) {
    std::string why;
    if (!platform::MakePrivateFolder(ServiceFolder(), false, &why) ||
        !platform::MakePrivateFolder(ServiceFolder() + "\\ssh", true, &why)) {
        std::fprintf(stderr, "tolvi-relay: the audit trail is not written: %s %s\n",
                     ServiceFolder().c_str(), why.c_str());
        return;
    }
    AuditTrail audit;
    if (audit.Open(ServiceAuditFile()))
        audit.ConnectorChanged(connector, change, "service command");
    else
        std::fprintf(stderr, "tolvi-relay: %s\n", audit.Problem().c_str());
}

int Add(const std::vector<std::string>& args) {
    std::vector<ConnectorSettings> parsed;
    std::string problem = ParseConnectorArguments(args, &parsed);
    if (problem.empty() && parsed.size() != 1)
        problem = "add takes one PIPE PORT and its options";
    if (!problem.empty()) {
        std::fprintf(stderr, "tolvi-relay: %s\n", problem.c_str());
        return kUsage;
    }
    if (!IsAdministrator())
        return NotAdministrator();
    const ConnectorSettings& added = parsed.front();
    std::vector<ConnectorSettings> machine = LoadMachine();
    Verdict verdict = ValidateConnector(DialogKind::Add, added, RowsOf(machine), -1);
    if (!verdict.accepted)
        return Fail(verdict.message);
    int sshPort = MachineOptions().SshPort;
    if (sshPort > 0 && (TextToInt(added.portText) == sshPort || added.watchPort == sshPort))
        return Fail(Format("Port %d is the service's SSH port", sshPort));
    machine.push_back(added);
    if (int failed = SaveMachine(machine))
        return failed;
    AuditChange(added, "added");
    std::printf("tolvi-relay: %s on port %s added to the service's connectors\n",
                added.pipeName.c_str(), added.portText.c_str());
    return 0;
}

int Remove(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        Fail("remove takes the PORT of the connector");
        return kUsage;
    }
    if (!IsAdministrator())
        return NotAdministrator();
    std::vector<ConnectorSettings> machine = LoadMachine();
    for (size_t i = 0; i < machine.size(); ++i) {
        if (TextToInt(machine[i].portText) == TextToInt(args[0]) && TextToInt(args[0]) > 0) {
            ConnectorSettings removed = machine[i];
            std::string pipe = machine[i].pipeName;
            machine.erase(machine.begin() + static_cast<long>(i));
            if (int failed = SaveMachine(machine))
                return failed;
            AuditChange(removed, "removed");
            std::printf("tolvi-relay: %s on port %s removed from the service's connectors\n",
                        pipe.c_str(), args[0].c_str());
            return 0;
        }
    }
    return Fail("the service has no connector on port " + args[0]);
}

int Ssh(const std::vector<std::string>& args) {
    AppOptions options = MachineOptions();
    bool portGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--listen" && i + 1 < args.size()) {
            platform::Endpoint at;
            if (!args[i + 1].empty() && !platform::ParseAddress(args[i + 1], &at)) {
                Fail("--listen '" + args[i + 1] + "': Incorrect listen address provided");
                return kUsage;
            }
            options.SshListen = args[++i];
        } else if (!portGiven && IsPlainPort(args[i]) && TextToInt(args[i]) <= 65535) {
            options.SshPort = TextToInt(args[i]);
            portGiven = true;
        } else {
            Fail("ssh takes a PORT from 0 to 65535 and --listen ADDR: not '" + args[i] + "'");
            return kUsage;
        }
    }
    if (!portGiven) {
        Fail("ssh takes the PORT to serve the consoles on (0: not at all)");
        return kUsage;
    }
    if (!IsAdministrator())
        return NotAdministrator();
    std::vector<ConnectorSettings> machine = LoadMachine();
    for (const ConnectorSettings& m : machine) {
        if (options.SshPort > 0 &&
            (TextToInt(m.portText) == options.SshPort || m.watchPort == options.SshPort))
            return Fail(Format("Port %d is in use for pipe %s!", options.SshPort,
                               m.pipeName.c_str()));
    }
    if (int failed = SaveMachine(machine, options))
        return failed;
    if (options.SshPort == 0)
        std::printf("tolvi-relay: the service serves no console over SSH\n");
    else
        std::printf("tolvi-relay: the service serves its consoles over SSH on port %d\n",
                    options.SshPort);
    return 0;
}

int List() {
    std::vector<ConnectorSettings> machine = LoadMachine();
    if (machine.empty())
        std::printf("the service has no connectors\n");
    for (const ConnectorSettings& s : machine) {
        std::printf("%-6s %-32s %s\n", s.portText.c_str(), s.pipeName.c_str(),
                    s.description.c_str());
        // Every option that is not as a new connector has it, so that an added one can be
        // checked at a glance.
        std::string options = ChangedOptionsAsFlags(s);
        if (!options.empty())
            std::printf("       %s\n", options.c_str());
    }
    return 0;
}

int Status(const std::vector<std::string>& args) {
    bool json = !args.empty() && args[0] == "--json";
    if (args.size() > (json ? 1u : 0u))
        return Fail("'service status' takes only --json, not '" + args[json ? 1 : 0] + "'");
    std::vector<ConnectorState> states;
    std::string problem;
    ServiceSsh ssh;
    if (!ReadServiceStatus(&states, &problem, kStatusTimeoutMs, &ssh))
        return Fail(problem);
    if (json) {
        if (ssh.json.empty())
            return Fail("the tolvi service is of a version that tells no JSON status");
        std::printf("%s\n", ssh.json.c_str());
        return 0;
    }
    if (ssh.port > 0)
        std::printf("SSH on port %d, host key %s\n", ssh.port, ssh.fingerprint.c_str());
    std::printf("%-6s %-28s %-15s %-20s %10s %10s  %s\n", "port", "pipe", "status", "clients",
                "sent", "received", "description");
    for (const ConnectorState& s : states) {
        std::printf("%-6s %-28s %-15s %-20s %10lld %10lld  %s\n", s.port.c_str(), s.pipe.c_str(),
                    s.status.c_str(), s.clients.c_str(), static_cast<long long>(s.sent),
                    static_cast<long long>(s.received), s.description.c_str());
        if (s.status == "Error" && !s.error.empty())
            std::printf("       why: %s\n", s.error.c_str());
    }
    return 0;
}

}  // namespace

int RunServiceCommand(const std::vector<std::string>& args) {
    std::string verb = args.empty() ? "" : args[0];
    std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
    if (verb == "run")
        return RunServiceProcess();
    if (verb == "install")
        return Install(rest);
    if (verb == "uninstall")
        return Uninstall();
    if (verb == "start")
        return Start();
    if (verb == "stop")
        return Stop(false);
    if (verb == "add")
        return Add(rest);
    if (verb == "remove")
        return Remove(rest);
    if (verb == "list")
        return List();
    if (verb == "status")
        return Status(rest);
    if (verb == "ssh")
        return Ssh(rest);
    std::fputs(kServiceUsage, verb.empty() || verb == "--help" ? stdout : stderr);
    return verb.empty() || verb == "--help" ? 0 : kUsage;
}

}  // namespace tolvi::service
