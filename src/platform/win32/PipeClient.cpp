// The pipe client on Windows: a named pipe opened through the file interface, overlapped so
// that a write to a server that has stopped reading can be given up on a stop request.
#include "platform/PipeClient.h"

#include <windows.h>

#include "platform/win32/Win32Error.h"

namespace tolvi::platform {
namespace {

const DWORD kStopPollMs = 500;

// Waits for an overlapped operation; with stop given, gives up on it when stop is set.
SysError Finish(HANDLE file, OVERLAPPED* ov, DWORD* transferred, const std::atomic<bool>* stop) {
    if (stop) {
        while (WaitForSingleObject(ov->hEvent, kStopPollMs) == WAIT_TIMEOUT) {
            if (stop->load()) {
                CancelIoEx(file, ov);
                GetOverlappedResult(file, ov, transferred, TRUE);
                return {ERROR_OPERATION_ABORTED, ErrorKind::Cancelled};
            }
        }
    }
    if (!GetOverlappedResult(file, ov, transferred, TRUE))
        return LastWin32Error();
    return {};
}

}  // namespace

std::string PosixPipePath(const std::string&) {
    return "";
}

PipeClient::PipeClient(PipeClient&& other) noexcept
    : handle_(other.handle_), ioEvent_(other.ioEvent_) {
    other.handle_ = INVALID_HANDLE_VALUE;
    other.ioEvent_ = nullptr;
}

PipeClient& PipeClient::operator=(PipeClient&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        ioEvent_ = other.ioEvent_;
        other.handle_ = INVALID_HANDLE_VALUE;
        other.ioEvent_ = nullptr;
    }
    return *this;
}

SysError PipeClient::Open(const std::string& pipeName) {
    Close();
    HANDLE h = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastWin32Error();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        SysError error = LastWin32Error();
        CloseHandle(h);
        return error;
    }
    handle_ = h;
    ioEvent_ = event;
    return {};
}

bool PipeClient::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

intptr_t PipeClient::Native() const {
    return reinterpret_cast<intptr_t>(handle_);
}

void PipeClient::Close() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    if (ioEvent_)
        CloseHandle(ioEvent_);
    handle_ = INVALID_HANDLE_VALUE;
    ioEvent_ = nullptr;
}

SysError PipeClient::Peek(uint32_t* available) {
    DWORD total = 0;
    *available = 0;
    if (!PeekNamedPipe(handle_, nullptr, 0, nullptr, &total, nullptr))
        return LastWin32Error();
    *available = total;
    return {};
}

SysError PipeClient::Read(void* buffer, uint32_t size, uint32_t* got) {
    OVERLAPPED ov{};
    ov.hEvent = ioEvent_;
    ResetEvent(ioEvent_);
    DWORD n = 0;
    *got = 0;
    if (!ReadFile(handle_, buffer, size, &n, &ov)) {
        DWORD code = GetLastError();
        if (code != ERROR_IO_PENDING)
            return Win32Error(code);
        // Only what Peek reported is read, so this completes at once.
        SysError error = Finish(handle_, &ov, &n, nullptr);
        if (error.Failed())
            return error;
    }
    *got = n;
    return {};
}

SysError PipeClient::Write(const void* data, uint32_t size, const std::atomic<bool>& stop) {
    const char* rest = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED ov{};
        ov.hEvent = ioEvent_;
        ResetEvent(ioEvent_);
        DWORD n = 0;
        if (!WriteFile(handle_, rest, size, &n, &ov)) {
            DWORD code = GetLastError();
            if (code != ERROR_IO_PENDING)
                return Win32Error(code);
            SysError error = Finish(handle_, &ov, &n, &stop);
            if (error.Failed())
                return error;
        }
        if (n == 0)
            return Win32Error(ERROR_NO_DATA);
        rest += n;
        size -= n;
    }
    return {};
}

}  // namespace tolvi::platform
