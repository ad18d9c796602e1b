// The test pipe server on a Windows named pipe with a single instance. Reads wait on an
// overlapped read that stays pending between calls, so an idle server costs nothing.
#include "pipeserver/PipeServer.h"

#include "platform/win32/WideText.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace tolvi::tools {

struct PipeServer::Io {
    platform::UniqueHandle connectEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    platform::UniqueHandle readEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED connect{};
    OVERLAPPED read{};
    bool readPending = false;
    std::vector<char> buffer = std::vector<char>(65536);
    DWORD begin = 0, end = 0;  // read but not yet handed out

    Io() {
        connect.hEvent = connectEvent.get();
        read.hEvent = readEvent.get();
    }
};

PipeServer::PipeServer(std::string pipeName, size_t bufferSize)
    : pipeName_(std::move(pipeName)), bufferSize_(bufferSize), io_(std::make_unique<Io>()) {}

PipeServer::~PipeServer() {
    Close();
}

bool PipeServer::Listen(std::string* error) {
    Close();
    DWORD size = static_cast<DWORD>(bufferSize_);
    DWORD mode =
        messages_ ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE : PIPE_TYPE_BYTE | PIPE_READMODE_BYTE;
    pipe_.reset(CreateNamedPipeW(platform::Widen(pipeName_).c_str(),
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, mode | PIPE_WAIT, 1,
                                 size, size, 0, nullptr));
    if (!pipe_) {
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
    if (!pipe_)
        return false;
    OVERLAPPED* ov = &io_->connect;
    if (!connectPending_) {
        ResetEvent(ov->hEvent);
        if (ConnectNamedPipe(pipe_.get(), ov)) {
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
    if (WaitForSingleObject(ov->hEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return false;
    DWORD unused;
    connectPending_ = false;
    connected_ = GetOverlappedResult(pipe_.get(), ov, &unused, FALSE) != 0;
    return connected_;
}

bool PipeServer::HasClient() const {
    return connected_;
}

long PipeServer::Read(void* buffer, size_t size, int timeoutMs) {
    if (!connected_)
        return -1;
    if (io_->begin == io_->end) {
        if (!io_->readPending) {
            io_->begin = io_->end = 0;
            DWORD n = 0;
            if (ReadFile(pipe_.get(), io_->buffer.data(), static_cast<DWORD>(io_->buffer.size()),
                         &n, &io_->read)) {
                io_->end = n;
            } else if (GetLastError() == ERROR_IO_PENDING) {
                io_->readPending = true;
            } else {
                return -1;
            }
        }
        if (io_->readPending) {
            if (WaitForSingleObject(io_->read.hEvent, static_cast<DWORD>(timeoutMs)) !=
                WAIT_OBJECT_0) {
                return 0;  // the read stays pending for the next call
            }
            DWORD n = 0;
            io_->readPending = false;
            if (!GetOverlappedResult(pipe_.get(), &io_->read, &n, FALSE))
                return -1;
            io_->begin = 0;
            io_->end = n;
        }
    }
    DWORD count = io_->end - io_->begin;
    if (count > size)
        count = static_cast<DWORD>(size);
    std::memcpy(buffer, io_->buffer.data() + io_->begin, count);
    io_->begin += count;
    return static_cast<long>(count);
}

bool PipeServer::Write(const void* data, size_t size) {
    if (!connected_)
        return false;
    platform::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = done.get();
    DWORD n = 0;
    BOOL ok = WriteFile(pipe_.get(), data, static_cast<DWORD>(size), &n, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(pipe_.get(), &ov, &n, TRUE);
    return ok && n == size;
}

void PipeServer::DropClient() {
    if (!pipe_)
        return;
    if (connectPending_ || io_->readPending) {
        CancelIoEx(pipe_.get(), nullptr);
        DWORD unused;
        if (connectPending_)
            GetOverlappedResult(pipe_.get(), &io_->connect, &unused, TRUE);
        if (io_->readPending)
            GetOverlappedResult(pipe_.get(), &io_->read, &unused, TRUE);
    }
    DisconnectNamedPipe(pipe_.get());
    connectPending_ = false;
    io_->readPending = false;
    io_->begin = io_->end = 0;
    connected_ = false;
}

void PipeServer::Close() {
    if (!pipe_)
        return;
    DropClient();
    pipe_.reset();
}

}  // namespace tolvi::tools
