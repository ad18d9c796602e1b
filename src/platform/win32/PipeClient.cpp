// The pipe client on Windows: a named pipe opened for overlapped I/O, for identification
// only, whose server is checked before its first byte; its bytes move as OverlappedIo moves
// them.
#include "platform/PipeClient.h"

#include "platform/PipeServerTrust.h"
#include "platform/win32/OverlappedIo.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

std::string PosixPipePath(const std::string&) {
    return "";
}

PipeClient::PipeClient() = default;

PipeClient::~PipeClient() {
    Close();
}

PipeClient::PipeClient(PipeClient&& other) noexcept
    : handle(std::move(other.handle)), overlapped(std::move(other.overlapped)) {}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
    if (this != &other) {
        Close();
        handle = std::move(other.handle);
        overlapped = std::move(other.overlapped);
    }
    return *this;
}

namespace {

// Whether a pipe's server is this machine: "\\.\pipe\x", or the machine's own name. A
// remote server's identity cannot be looked at from here; its name was chosen by whoever set
// the connector up, and no local user can stand in for it.
bool IsLocalPipe(const std::string& pipeName) {
    std::wstring name = Widen(pipeName);
    if (name.size() < 3 || name.compare(0, 2, L"\\\\") != 0)
        return true;
    std::wstring server = name.substr(2, name.find(L'\\', 2) - 2);
    if (server == L"." || _wcsicmp(server.c_str(), L"localhost") == 0 || server == L"127.0.0.1" ||
        server == L"::1")
        return true;
    for (COMPUTER_NAME_FORMAT format : {ComputerNameNetBIOS, ComputerNameDnsHostname,
                                        ComputerNameDnsFullyQualified}) {
        wchar_t own[256];
        DWORD size = 256;
        if (GetComputerNameExW(format, own, &size) && _wcsicmp(server.c_str(), own) == 0)
            return true;
    }
    return false;
}

}  // namespace

SysError PipeClient::Open(const std::string& pipeName, bool anyServer) {
    Close();
    refusal.clear();
    // Identification only: a server that impersonates its client (ImpersonateNamedPipeClient)
    // learns who it is, but cannot act as it; this program may run as the system.
    UniqueFile file(CreateFileW(Widen(pipeName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                    SECURITY_IDENTIFICATION,
                                nullptr));
    if (!file)
        return LastWin32Error();
    if (!anyServer && IsLocalPipe(pipeName)) {
        PipeServerCheck check = CheckPipeServer(reinterpret_cast<intptr_t>(file.get()));
        if (!check.trusted) {
            refusal = UntrustedServerText(pipeName, check);
            return Win32Error(ERROR_ACCESS_DENIED);  // closed before a byte went either way
        }
    }
    auto io = std::make_unique<OverlappedIo>();
    if (!io->Valid())
        return LastWin32Error();
    handle = std::move(file);
    overlapped = std::move(io);
    overlapped->StartRead(handle.get());
    return {};
}

bool PipeClient::IsOpen() const {
    return static_cast<bool>(handle);
}

intptr_t PipeClient::Native() const {
    return reinterpret_cast<intptr_t>(handle.get());
}

void PipeClient::Close() {
    if (!handle)
        return;
    bool released = overlapped->Abandon(handle.get());
    handle.reset();
    if (!released)
        (void)overlapped.release();  // the system may still write into it; a small leak beats corruption
    overlapped.reset();
}

SysError PipeClient::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (!IsOpen())
        return Win32Error(ERROR_INVALID_HANDLE);
    return overlapped->Read(handle.get(), buffer, size, got);
}

SysError PipeClient::Write(const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    if (!IsOpen())
        return Win32Error(ERROR_INVALID_HANDLE);
    return overlapped->Write(handle.get(), data, size, taken);
}

bool PipeClient::WritePending() const {
    return IsOpen() && overlapped->WritePending();
}

bool PipeClient::ReadPending() const {
    return IsOpen() && overlapped->ReadPending();
}

void* PipeClient::ReadEvent() const {
    return overlapped->ReadEvent();
}

void* PipeClient::WriteEvent() const {
    return overlapped->WriteEvent();
}

}  // namespace tolvi::platform
