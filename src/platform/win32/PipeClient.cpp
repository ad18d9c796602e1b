// The pipe client on Windows: a named pipe opened for overlapped I/O. One read is always
// pending, into a buffer of the client's own, so that the pipe's data and its server's
// departure end the worker's wait; a write is handed to the system and finishes while the
// worker goes on reading.
#include "platform/PipeClient.h"

#include <cstring>
#include <vector>

#include "platform/PipeServerTrust.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

struct PipeClient::Overlapped {
    struct Direction {
        OVERLAPPED ov{};
        bool pending = false;
        SysError failure;  // kept until the pipe is closed: a gone server stays gone
        std::vector<char> buffer = std::vector<char>(kChunk);
        DWORD begin = 0, end = 0;  // the bytes of buffer not yet handed on
    };
    Direction read, write;
    UniqueHandle readEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle writeEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    Overlapped() {
        read.ov.hEvent = readEvent.get();
        write.ov.hEvent = writeEvent.get();
    }
    bool Valid() const { return readEvent && writeEvent; }
};

namespace {

// Asks the system to give up an operation and waits for it to say it has; false when it does
// not within a second, and the buffers must then be left to it.
bool Abandon(HANDLE file, OVERLAPPED* ov) {
    CancelIoEx(file, ov);
    if (WaitForSingleObject(ov->hEvent, 1000) != WAIT_OBJECT_0)
        return false;
    DWORD unused;
    GetOverlappedResult(file, ov, &unused, FALSE);
    return true;
}

// The result of a pending operation: true when it has finished (successfully or not).
bool Finished(HANDLE file, OVERLAPPED* ov, DWORD* transferred, SysError* failure) {
    if (GetOverlappedResult(file, ov, transferred, FALSE))
        return true;
    DWORD code = GetLastError();
    if (code == ERROR_IO_INCOMPLETE)
        return false;
    // A message longer than the buffer, from a pipe in message mode: what came is data like
    // any other, and the rest of the message comes with the next read.
    if (code == ERROR_MORE_DATA)
        return true;
    *failure = Win32Error(code);
    return true;
}

}  // namespace

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
    auto io = std::make_unique<Overlapped>();
    if (!io->Valid())
        return LastWin32Error();
    handle = std::move(file);
    overlapped = std::move(io);
    StartRead();
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
    bool released = true;
    if (overlapped->read.pending)
        released = Abandon(handle.get(), &overlapped->read.ov) && released;
    if (overlapped->write.pending)
        released = Abandon(handle.get(), &overlapped->write.ov) && released;
    handle.reset();
    if (!released)
        (void)overlapped.release();  // the system may still write into it; a small leak beats corruption
    overlapped.reset();
}

void PipeClient::StartRead() {
    Overlapped::Direction& r = overlapped->read;
    r.begin = r.end = 0;
    // A read that finishes at once with nothing (a zero-length message) is simply asked again.
    for (int tries = 0; tries < 16; ++tries) {
        DWORD n = 0;
        if (ReadFile(handle.get(), r.buffer.data(), kChunk, &n, &r.ov)) {
            r.end = n;
            if (n > 0)
                return;
            continue;
        }
        DWORD code = GetLastError();
        // More of a message than fits has completed the read already: its result says how
        // much came, as for one that was pending.
        if (code == ERROR_IO_PENDING || code == ERROR_MORE_DATA)
            r.pending = true;
        else
            r.failure = Win32Error(code);
        return;
    }
}

SysError PipeClient::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (!IsOpen())
        return Win32Error(ERROR_INVALID_HANDLE);
    Overlapped::Direction& r = overlapped->read;
    if (r.pending) {
        DWORD n = 0;
        if (!Finished(handle.get(), &r.ov, &n, &r.failure))
            return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
        r.pending = false;
        r.begin = 0;
        r.end = r.failure.Failed() ? 0 : n;
    }
    if (r.begin < r.end) {
        DWORD count = r.end - r.begin < size ? r.end - r.begin : size;
        std::memcpy(buffer, r.buffer.data() + r.begin, count);
        r.begin += count;
        *got = count;
        if (r.begin == r.end && !r.failure.Failed())
            StartRead();  // the next read is pending before the worker waits again
        return {};
    }
    if (r.failure.Failed())
        return r.failure;
    StartRead();
    return r.pending ? SysError{ERROR_IO_PENDING, ErrorKind::WouldBlock} : SysError{};
}

void PipeClient::StartWrite() {
    Overlapped::Direction& w = overlapped->write;
    while (w.begin < w.end) {
        DWORD n = 0;
        if (!WriteFile(handle.get(), w.buffer.data() + w.begin, w.end - w.begin, &n, &w.ov)) {
            DWORD code = GetLastError();
            if (code == ERROR_IO_PENDING)
                w.pending = true;
            else
                w.failure = Win32Error(code);
            return;
        }
        if (n == 0) {
            w.failure = Win32Error(ERROR_NO_DATA);
            return;
        }
        w.begin += n;
    }
}

SysError PipeClient::Write(const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    if (!IsOpen())
        return Win32Error(ERROR_INVALID_HANDLE);
    Overlapped::Direction& w = overlapped->write;
    if (w.pending) {
        DWORD n = 0;
        if (!Finished(handle.get(), &w.ov, &n, &w.failure))
            return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
        w.pending = false;
        if (!w.failure.Failed()) {
            w.begin += n;
            if (n == 0 && w.begin < w.end)
                w.failure = Win32Error(ERROR_NO_DATA);
            else
                StartWrite();  // the rest of a write the system took only in part
        }
    }
    if (w.failure.Failed())
        return w.failure;
    if (w.pending)
        return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
    if (size == 0)
        return {};
    DWORD count = size < kChunk ? size : kChunk;
    std::memcpy(w.buffer.data(), data, count);
    w.begin = 0;
    w.end = count;
    StartWrite();
    if (w.failure.Failed())
        return w.failure;
    *taken = count;
    return {};
}

bool PipeClient::WritePending() const {
    return IsOpen() && overlapped->write.pending;
}

bool PipeClient::ReadPending() const {
    return IsOpen() && overlapped->read.pending;
}

void* PipeClient::ReadEvent() const {
    return overlapped->read.ov.hEvent;
}

void* PipeClient::WriteEvent() const {
    return overlapped->write.ov.hEvent;
}

}  // namespace tolvi::platform
