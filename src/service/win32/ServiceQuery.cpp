// Asking the tolvi service. Its status pipe is believed only when the service's own process
// serves it: while the service is stopped any program could make a pipe of that name.
#include "service/win32/ServiceQuery.h"

#include <windows.h>

#include "config/ConfigurationStore.h"
#include "engine/Format.h"
#include "platform/ErrorText.h"
#include "platform/RegistryStore.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "service/MachineConnectors.h"
#include "service/win32/WindowsService.h"

namespace tolvi::service {
namespace {

using platform::UniqueService;

// More than any real status needs; a pipe that sends more is not the service.
constexpr size_t kLongestStatus = 16u << 20;

// The process id of the running service; 0 when it does not run (or cannot be asked).
DWORD ServiceProcessId() {
    UniqueService scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm)
        return 0;
    UniqueService service(OpenServiceW(scm.get(), kServiceName, SERVICE_QUERY_STATUS));
    if (!service)
        return 0;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &needed) ||
        status.dwCurrentState != SERVICE_RUNNING) {
        return 0;
    }
    return status.dwProcessId;
}

DWORD MillisLeft(ULONGLONG deadline) {
    ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

bool IsServiceInstalled() {
    UniqueService scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm)
        return false;
    UniqueService service(OpenServiceW(scm.get(), kServiceName, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

std::vector<ConnectorSettings> MachineConnectors() {
    auto store =
        platform::OpenRegistryStore(platform::RegistryRoot::LocalMachine, kMachineConnectorsKey);
    return LoadConfiguration(*store, AppOptions{}).connectors;
}

bool ReadServiceStatus(std::vector<ConnectorState>* states, std::string* problem,
                       DWORD timeoutMs, ServiceSsh* ssh) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    DWORD servicePid = ServiceProcessId();
    if (servicePid == 0) {
        *problem = "the tolvi service is not running";
        return false;
    }
    std::wstring name = platform::Widen(kStatusPipeName);
    platform::UniqueFile pipe;
    // Many readers at once find every instance taken for a moment: each waits its turn until
    // the deadline, not for a fixed number of tries.
    for (;;) {
        pipe.reset(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe)
            break;
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            *problem = "the tolvi service is not running";
            return false;
        }
        if (code != ERROR_PIPE_BUSY) {
            *problem = "the service's status cannot be read (" +
                       platform::GetSystemErrorText(static_cast<int>(code)) + ")";
            return false;
        }
        DWORD left = MillisLeft(deadline);
        if (left == 0) {
            *problem = Format("the tolvi service did not answer within %lu ms",
                              static_cast<unsigned long>(timeoutMs));
            return false;
        }
        WaitNamedPipeW(name.c_str(), left < 100 ? left : 100);
    }
    ULONG serverPid = 0;
    if (!GetNamedPipeServerProcessId(pipe.get(), &serverPid) || serverPid != servicePid) {
        *problem = Format(
            "%s is not served by the tolvi service (process %lu, not %lu): its answer is not "
            "believed",
            kStatusPipeName, static_cast<unsigned long>(serverPid),
            static_cast<unsigned long>(servicePid));
        return false;
    }
    platform::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string text;
    char buffer[4096];
    for (;;) {
        OVERLAPPED read{};
        read.hEvent = done.get();
        ResetEvent(read.hEvent);
        DWORD got = 0;
        BOOL ok = ReadFile(pipe.get(), buffer, sizeof buffer, &got, &read);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(read.hEvent, MillisLeft(deadline)) != WAIT_OBJECT_0) {
                CancelIoEx(pipe.get(), &read);
                GetOverlappedResult(pipe.get(), &read, &got, TRUE);
                *problem = Format("the tolvi service did not answer within %lu ms",
                                  static_cast<unsigned long>(timeoutMs));
                return false;
            }
            ok = GetOverlappedResult(pipe.get(), &read, &got, FALSE);
        }
        if (!ok || got == 0)
            break;  // the end of the pipe: the service has said it all
        text.append(buffer, got);
        if (text.size() > kLongestStatus) {
            *problem = "the service's status is too long to be believed";
            return false;
        }
    }
    *states = ParseStatus(text);
    if (ssh && !ParseSsh(text, &ssh->port, &ssh->fingerprint))
        *ssh = ServiceSsh{};
    if (ssh)
        ssh->json = ParseJson(text);
    return true;
}

}  // namespace tolvi::service
