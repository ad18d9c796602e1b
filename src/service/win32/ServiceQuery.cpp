// Asking the tolvi service.
#include "service/win32/ServiceQuery.h"

#include <windows.h>

#include "config/ConfigurationStore.h"
#include "platform/ErrorText.h"
#include "platform/RegistryStore.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "service/MachineConnectors.h"
#include "service/win32/WindowsService.h"

namespace tolvi::service {

bool IsServiceInstalled() {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!scm)
        return false;
    SC_HANDLE service = OpenServiceW(scm, kServiceName, SERVICE_QUERY_STATUS);
    bool installed = service != nullptr;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(scm);
    return installed;
}

std::vector<ConnectorSettings> MachineConnectors() {
    auto store =
        platform::OpenRegistryStore(platform::RegistryRoot::LocalMachine, kMachineConnectorsKey);
    return LoadConfiguration(*store, AppOptions{}).connectors;
}

bool ReadServiceStatus(std::vector<ConnectorState>* states, std::string* problem) {
    std::wstring name = platform::Widen(kStatusPipeName);
    platform::UniqueFile pipe;
    for (int tries = 0; tries < 10 && !pipe; ++tries) {
        pipe.reset(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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
        WaitNamedPipeW(name.c_str(), 100);
    }
    if (!pipe) {
        *problem = "the service is too busy to answer";
        return false;
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    *states = ParseStatus(text);
    return true;
}

}  // namespace tolvi::service
