// The test pipe server on a Windows named pipe with a single instance.
#include "pipeserver/PipeServer.h"

#include <windows.h>

#include <cstdio>

namespace tolvi::tools {

PipeServer::PipeServer(std::string pipeName)
    : pipeName_(std::move(pipeName)),
      pipe_(INVALID_HANDLE_VALUE),
      connectEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      connectOverlapped_(new OVERLAPPED{}) {}

PipeServer::~PipeServer() {
    Close();
    CloseHandle(connectEvent_);
    delete static_cast<OVERLAPPED*>(connectOverlapped_);
}

bool PipeServer::Listen(std::string* error) {
    Close();
    pipe_ = CreateNamedPipeA(pipeName_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                             nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE) {
        char text[96];
        std::snprintf(text, sizeof text, "CreateNamedPipe failed, error %lu", GetLastError());
        *error = pipeName_ + ": " + text;
        return false;
    }
    return true;
}

bool PipeServer::WaitClient(int timeoutMs) {
    if (connected_)
        return true;
    if (pipe_ == INVALID_HANDLE_VALUE)
        return false;
    auto* ov = static_cast<OVERLAPPED*>(connectOverlapped_);
    if (!connectPending_) {
        *ov = OVERLAPPED{};
        ov->hEvent = connectEvent_;
        ResetEvent(connectEvent_);
        if (ConnectNamedPipe(pipe_, ov)) {
            connected_ = true;
            return true;
        }
        DWORD code = GetLastError();
        if (code == ERROR_PIPE_CONNECTED) {
            connected_ = true;
            return true;
        }
        if (code != ERROR_IO_PENDING)
            return false;
        connectPending_ = true;
    }
    if (WaitForSingleObject(connectEvent_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD unused;
    connectPending_ = false;
    connected_ = GetOverlappedResult(pipe_, ov, &unused, FALSE) != 0;
    return connected_;
}

bool PipeServer::HasClient() const {
    return connected_;
}

long PipeServer::Read(void* buffer, size_t size, int timeoutMs) {
    if (!connected_)
        return -1;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr))
            return -1;
        if (available > 0)
            break;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs)
            return 0;
        Sleep(1);
    }
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    BOOL ok = ReadFile(pipe_, buffer, static_cast<DWORD>(size), &n, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(pipe_, &ov, &n, TRUE);
    CloseHandle(ov.hEvent);
    return ok ? static_cast<long>(n) : -1;
}

bool PipeServer::Write(const void* data, size_t size) {
    if (!connected_)
        return false;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    BOOL ok = WriteFile(pipe_, data, static_cast<DWORD>(size), &n, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(pipe_, &ov, &n, TRUE);
    CloseHandle(ov.hEvent);
    return ok && n == size;
}

void PipeServer::DropClient() {
    if (pipe_ == INVALID_HANDLE_VALUE)
        return;
    if (connectPending_)
        CancelIo(pipe_);
    DisconnectNamedPipe(pipe_);
    connectPending_ = false;
    connected_ = false;
}

void PipeServer::Close() {
    if (pipe_ == INVALID_HANDLE_VALUE)
        return;
    DropClient();
    CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
}

}  // namespace tolvi::tools
