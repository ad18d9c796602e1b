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
    : name(std::move(pipeName)), buffers(bufferSize), io(std::make_unique<Io>()) {}

PipeServer::~PipeServer() {
    Close();
}

bool PipeServer::Listen(std::string* error) {
    Close();
    DWORD size = static_cast<DWORD>(buffers);
    DWORD mode =
        messages ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE : PIPE_TYPE_BYTE | PIPE_READMODE_BYTE;
    pipe.reset(CreateNamedPipeW(platform::Widen(name).c_str(),
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, mode | PIPE_WAIT, 1,
                                 size, size, 0, nullptr));
    if (!pipe) {
        char text[96];
        std::snprintf(text, sizeof text, "CreateNamedPipe failed, error %lu", GetLastError());
        *error = name + ": " + text;
        return false;
    }
    return true;
}

bool PipeServer::WaitClient(int timeoutMs) {
    if (connected)
        return true;
    if (!pipe)
        return false;
    OVERLAPPED* ov = &io->connect;
    if (!connectPending) {
        ResetEvent(ov->hEvent);
        if (ConnectNamedPipe(pipe.get(), ov)) {
            connected = true;
            return true;
        }
        DWORD code = GetLastError();
        if (code == ERROR_PIPE_CONNECTED) {
            connected = true;
            return true;
        }
        if (code != ERROR_IO_PENDING)
            return false;
        connectPending = true;
    }
    if (WaitForSingleObject(ov->hEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return false;
    DWORD unused;
    connectPending = false;
    connected = GetOverlappedResult(pipe.get(), ov, &unused, FALSE) != 0;
    return connected;
}

bool PipeServer::HasClient() const {
    return connected;
}

long PipeServer::Read(void* buffer, size_t size, int timeoutMs) {
    if (!connected)
        return -1;
    if (io->begin == io->end) {
        if (!io->readPending) {
            io->begin = io->end = 0;
            DWORD n = 0;
            if (ReadFile(pipe.get(), io->buffer.data(), static_cast<DWORD>(io->buffer.size()),
                         &n, &io->read)) {
                io->end = n;
            } else if (GetLastError() == ERROR_IO_PENDING) {
                io->readPending = true;
            } else {
                return -1;
            }
        }
        if (io->readPending) {
            if (WaitForSingleObject(io->read.hEvent, static_cast<DWORD>(timeoutMs)) !=
                WAIT_OBJECT_0) {
                return 0;  // the read stays pending for the next call
            }
            DWORD n = 0;
            io->readPending = false;
            if (!GetOverlappedResult(pipe.get(), &io->read, &n, FALSE))
                return -1;
            io->begin = 0;
            io->end = n;
        }
    }
    DWORD count = io->end - io->begin;
    if (count > size)
        count = static_cast<DWORD>(size);
    std::memcpy(buffer, io->buffer.data() + io->begin, count);
    io->begin += count;
    return static_cast<long>(count);
}

bool PipeServer::Write(const void* data, size_t size) {
    if (!connected)
        return false;
    platform::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = done.get();
    DWORD n = 0;
    BOOL ok = WriteFile(pipe.get(), data, static_cast<DWORD>(size), &n, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(pipe.get(), &ov, &n, TRUE);
    return ok && n == size;
}

void PipeServer::DropClient() {
    if (!pipe)
        return;
    if (connectPending || io->readPending) {
        CancelIoEx(pipe.get(), nullptr);
        DWORD unused;
        if (connectPending)
            GetOverlappedResult(pipe.get(), &io->connect, &unused, TRUE);
        if (io->readPending)
            GetOverlappedResult(pipe.get(), &io->read, &unused, TRUE);
    }
    DisconnectNamedPipe(pipe.get());
    connectPending = false;
    io->readPending = false;
    io->begin = io->end = 0;
    connected = false;
}

void PipeServer::Close() {
    if (!pipe)
        return;
    DropClient();
    pipe.reset();
}

}  // namespace tolvi::tools
