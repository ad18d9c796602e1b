// The tolvi service under the Service Control Manager: the dispatcher, the control handler,
// the machine's connectors and the watch on their key, and the status pipe.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "config/ConfigurationStore.h"
#include "platform/ErrorText.h"
#include "platform/FileTrust.h"
#include "platform/RegistryStore.h"
#include "platform/Socket.h"
#include "platform/win32/ProcessToken.h"
#include "platform/win32/WideText.h"
#include "service/MachineConnectors.h"
#include "service/ServiceFolders.h"
#include "service/ServiceRunner.h"
#include "service/ServiceStatus.h"
#include "service/win32/EventLog.h"
#include "service/win32/WindowsService.h"

namespace tolvi::service {
namespace {

using platform::UniqueHandle;

class ScmControl : public ServiceControl {
  public:
    void Attach(SERVICE_STATUS_HANDLE handle) { statusHandle = handle; }
    void Report(const ServiceReport& r) override {
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        switch (r.state) {
            case ServiceState::StartPending:
                status.dwCurrentState = SERVICE_START_PENDING;
                break;
            case ServiceState::Running:
                status.dwCurrentState = SERVICE_RUNNING;
                // PRESHUTDOWN, so that the log keeps the guest's last lines while Windows
                // shuts down, before the plain shutdown's short time.
                status.dwControlsAccepted =
                    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE;
                break;
            case ServiceState::StopPending:
                status.dwCurrentState = SERVICE_STOP_PENDING;
                break;
            case ServiceState::Stopped:
                status.dwCurrentState = SERVICE_STOPPED;
                break;
        }
        status.dwWin32ExitCode = r.exitCode;
        status.dwServiceSpecificExitCode = r.specificCode;
        status.dwCheckPoint = r.checkpoint;
        status.dwWaitHint = r.waitHintMs;
        if (statusHandle)
            SetServiceStatus(statusHandle, &status);
    }

  private:
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
};

// Whether the service's folders may be used this time: ProgramData lets every user make
// folders, so %ProgramData%\tolvi and its ssh folder may have been made by somebody else
// before the service first ran. Each is made, or given its rights again, at every start: the
// system and the administrators alone (everyone may read the public keys); one that another
// user owns, or a link, is not used, and the event log says which and why.
struct FolderState {
    bool usable = false;     // %ProgramData%\tolvi: relative logs
    bool sshUsable = false;  // its ssh folder: the keys file and the host key
};

FolderState PrepareFolders(EventLog& log) {
    FolderState folders;
    std::string why;
    const std::string base = ServiceFolder();
    folders.usable = platform::MakePrivateFolder(base, false, &why);
    if (!folders.usable) {
        log.FolderNotUsed(base, why);
        return folders;
    }
    const std::string ssh = base + "\\ssh";
    folders.sshUsable = platform::MakePrivateFolder(ssh, true, &why);
    if (!folders.sshUsable)
        log.FolderNotUsed(ssh, why);
    return folders;
}

FolderState theFolders;  // as the last start found them

class MachineSource : public ConnectorSource {
  public:
    bool Load(std::vector<ConnectorSettings>* settings, AppOptions* options,
              std::string* problem) override {
        auto store = platform::OpenRegistryStore(platform::RegistryRoot::LocalMachine,
                                                 kMachineConnectorsKey);
        platform::SysError opened = store->OpenForRead();
        store->Close();
        if (opened.Failed() && opened.code != ERROR_FILE_NOT_FOUND) {
            *problem = "the connectors in HKEY_LOCAL_MACHINE\\" +
                       std::string(kMachineConnectorsKey) + " cannot be read (" +
                       platform::GetSystemErrorText(opened.code) + ")";
            return false;
        }
        StoredConfiguration loaded = LoadConfiguration(*store, AppOptions{});
        if (theFolders.usable) {
            *settings = WithLogsUnder(loaded.connectors, ServiceFolder());
        } else {
            // Said once at the start: the folder is not ours, and nothing is written there.
            *settings = loaded.connectors;
            for (ConnectorSettings& c : *settings) {
                if (!IsAbsolutePath(c.logFile))
                    c.logFile.clear();
            }
        }
        *options = loaded.options;
        return true;
    }
};

// The SSH server's files, in %ProgramData%\tolvi\ssh: the keys file decides who reaches the
// machine's consoles, so only the system and the administrators may write there.
ssh::SshFiles SshFolderFiles() {
    ssh::SshFiles files;
    files.keysFile = ServiceFolder() + "\\ssh\\authorized_keys";
    files.access = ssh::FileAccess::Administrators;
    return files;
}

// Asks the runner to apply the machine's connectors again whenever their key changes. A save
// writes many values: the change is taken once things have been quiet for a moment.
class KeyWatch {
  public:
    KeyWatch(ServiceRunner& runner, HANDLE stop) : serviceRunner(runner), stopEvent(stop) {
        worker = std::thread([this] { Run(); });
    }
    ~KeyWatch() { worker.join(); }

  private:
    void Run() {
        UniqueHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        std::wstring path = platform::Widen(kMachineConnectorsKey);
        for (;;) {
            platform::UniqueRegistryKey key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_NOTIFY | KEY_WOW64_32KEY,
                              key.put()) != ERROR_SUCCESS) {
                // Not there yet: the first connector added makes it.
                if (WaitForSingleObject(stopEvent, 2000) == WAIT_OBJECT_0)
                    return;
                serviceRunner.RequestReload();
                continue;
            }
            RegNotifyChangeKeyValue(key.get(), FALSE,
                                    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                    changed.get(), TRUE);
            HANDLE both[2] = {stopEvent, changed.get()};
            DWORD woke = WaitForMultipleObjects(2, both, FALSE, INFINITE);
            key.reset();
            if (woke != WAIT_OBJECT_0 + 1)
                return;
            while (WaitForSingleObject(changed.get(), 300) == WAIT_OBJECT_0) {
            }
            if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0)
                return;
            serviceRunner.RequestReload();
        }
    }

    ServiceRunner& serviceRunner;
    HANDLE stopEvent;
    std::thread worker;
};

// Whether the process at the other end of the status pipe runs as the system or as an
// administrator with its rights in effect (elevated): only they are given what the consoles
// printed. Any other authenticated user gets the rest.
bool ReaderIsAdministrator(HANDLE pipe) {
    ULONG pid = 0;
    if (!GetNamedPipeClientProcessId(pipe, &pid))
        return false;
    UniqueHandle token = platform::OpenProcessTokenOf(pid);
    std::vector<uint8_t> groups;
    if (token)
        groups = platform::TokenPart(token.get(), TokenGroups);
    if (groups.empty())
        return false;
    BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
    DWORD adminsSize = sizeof admins, systemSize = sizeof system;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize);
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize);
    auto* list = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < list->GroupCount; ++i) {
        if (EqualSid(list->Groups[i].Sid, admins) &&
            (list->Groups[i].Attributes & SE_GROUP_ENABLED) != 0)
            return true;
    }
    std::vector<uint8_t> user = platform::TokenPart(token.get(), TokenUser);
    return !user.empty() && EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, system);
}

// The status pipe: each client that opens it reads the live state of every connector, and the
// end of the pipe. Authenticated users may read it; nobody but the service may write to it, and
// the service makes the first instance, so that nobody can stand in for it.
class StatusChannel {
  public:
    // Instances that wait for a reader at any time, each served by a thread of its own: many
    // readers at once (a script that polls, several windows) are answered in turn.
    static constexpr int kListening = 4;

    StatusChannel(ServiceRunner& runner, HANDLE stop) : serviceRunner(runner), stopEvent(stop) {}
    ~StatusChannel() {
        for (std::thread& t : threads) {
            if (t.joinable())
                t.join();
        }
        if (security.lpSecurityDescriptor)
            LocalFree(security.lpSecurityDescriptor);
    }

    bool Start() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:P(A;;GA;;;SY)(A;;GR;;;AU)", SDDL_REVISION_1, &descriptor, nullptr)) {
            return false;
        }
        security.nLength = sizeof security;
        security.lpSecurityDescriptor = descriptor;
        security.bInheritHandle = FALSE;
        UniqueHandle first = NewInstance(true);
        if (!first)
            return false;
        threads.emplace_back([this, pipe = first.release()] { Run(UniqueHandle(pipe)); });
        for (int i = 1; i < kListening; ++i) {
            UniqueHandle more = NewInstance(false);
            if (!more)
                break;  // fewer instances only make readers wait their turn a little longer
            threads.emplace_back([this, pipe = more.release()] { Run(UniqueHandle(pipe)); });
        }
        return true;
    }

  private:
    UniqueHandle NewInstance(bool first) {
        DWORD flags = PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED |
                      (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        std::wstring name = platform::Widen(kStatusPipeName);
        HANDLE pipe = CreateNamedPipeW(name.c_str(), flags,
                                       PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                       PIPE_UNLIMITED_INSTANCES, 64 * 1024, 0, 0, &security);
        return UniqueHandle(pipe == INVALID_HANDLE_VALUE ? nullptr : pipe);
    }

    void Run(UniqueHandle pipe) {
        UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        while (pipe) {
            OVERLAPPED ov{};
            ov.hEvent = connected.get();
            ResetEvent(ov.hEvent);
            if (!ConnectNamedPipe(pipe.get(), &ov)) {
                DWORD code = GetLastError();
                if (code == ERROR_IO_PENDING) {
                    HANDLE both[2] = {stopEvent, ov.hEvent};
                    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                        CancelIoEx(pipe.get(), &ov);
                        DWORD unused;
                        GetOverlappedResult(pipe.get(), &ov, &unused, TRUE);
                        break;
                    }
                } else if (code != ERROR_PIPE_CONNECTED) {
                    pipe = NewInstance(false);
                    continue;
                }
            }
            // The next instance waits before this one goes, so that a client never finds none.
            UniqueHandle next = NewInstance(false);
            std::string text;
            try {
                text = serviceRunner.StatusText(ReaderIsAdministrator(pipe.get()));
            } catch (const std::exception&) {
                // Out of memory: this reader goes without an answer, the next ones are served.
            }
            OVERLAPPED write{};
            write.hEvent = connected.get();
            ResetEvent(write.hEvent);
            DWORD done = 0;
            if (!WriteFile(pipe.get(), text.data(), static_cast<DWORD>(text.size()), &done,
                           &write) &&
                GetLastError() == ERROR_IO_PENDING &&
                WaitForSingleObject(write.hEvent, 2000) != WAIT_OBJECT_0) {
                CancelIoEx(pipe.get(), &write);
                GetOverlappedResult(pipe.get(), &write, &done, TRUE);
            }
            pipe = std::move(next);  // the client reads what is left, then the end
        }
    }

    ServiceRunner& serviceRunner;
    HANDLE stopEvent;
    SECURITY_ATTRIBUTES security{};
    std::vector<std::thread> threads;
};

struct Service {
    ScmControl control;
    MachineSource source;
    EventLog log;
    ServiceRunner runner{control, source, log, SshFolderFiles()};
    UniqueHandle stopped{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

Service* theService = nullptr;

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void* context) {
    auto* service = static_cast<Service*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_PRESHUTDOWN:
            service->runner.RequestStop();
            return NO_ERROR;
        case SERVICE_CONTROL_PARAMCHANGE:
            service->runner.RequestReload();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    Service& service = *theService;
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(kServiceName, OnControl, &service);
    if (!handle)
        return;
    service.control.Attach(handle);
    theFolders = PrepareFolders(service.log);
    platform::StartSocketLibrary();
    StatusChannel status(service.runner, service.stopped.get());
    if (!status.Start()) {
        service.log.Failed("its status pipe " + std::string(kStatusPipeName) +
                           " could not be made (" +
                           platform::GetSystemErrorText(static_cast<int>(GetLastError())) + ")");
        service.control.Report(
            ServiceReport{ServiceState::Stopped, 0, 0, kServiceSpecificError, kCodeStatusChannel});
        return;
    }
    {
        KeyWatch watch(service.runner, service.stopped.get());
        service.runner.Run();
        SetEvent(service.stopped.get());
    }
}

}  // namespace

int RunServiceProcess() {
    Service service;
    theService = &service;
    wchar_t name[] = L"tolvi";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        DWORD code = GetLastError();
        if (code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            std::fprintf(stderr,
                         "tolvi-relay: \"service run\" is how Windows starts the service; use "
                         "\"tolvi-relay service start\"\n");
            return 2;
        }
        std::fprintf(stderr, "tolvi-relay: the service could not start (%s)\n",
                     platform::GetSystemErrorText(static_cast<int>(code)).c_str());
        return 1;
    }
    return 0;
}

}  // namespace tolvi::service
