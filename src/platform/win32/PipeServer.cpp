// The pipe's server end on Windows: one instance of "\\.\pipe\NAME", made by us alone
// (FILE_FLAG_FIRST_PIPE_INSTANCE: a pipe of that name that another program made is refused,
// never joined), for local clients only, with a security descriptor that admits the system,
// the administrators, Hyper-V's virtual machines (NT VIRTUAL MACHINE\Virtual Machines) and
// the user we run as. The connection is awaited with an overlapped ConnectNamedPipe; once a
// client is there its bytes move as OverlappedIo moves them, as the pipe client's do. A client that leaves is let go with DisconnectNamedPipe, and the same
// instance waits for the next at once.
#include "platform/PipeServer.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32/OverlappedIo.h"
#include "platform/win32/ProcessToken.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Error.h"

namespace tolvi::platform {

namespace {

constexpr DWORD kPipeBuffer = 64 * 1024;

// "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;S-1-5-83-0)(A;;GA;;;<our user>)": a protected list
// that nothing inherits into. The virtual machines' group may read and write, no more.
std::wstring SecurityText() {
    std::wstring user = OwnUserSidText();
    std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;S-1-5-83-0)";
    if (!user.empty())
        sddl += L"(A;;GA;;;" + user + L")";
    return sddl;
}

std::string Text(const char* format, const std::string& name, unsigned long code) {
    std::vector<char> text(name.size() + 256);
    std::snprintf(text.data(), text.size(), format, name.c_str(), code);
    return text.data();
}

}  // namespace

struct PipeServer::State {
    std::string name;
    UniqueFile pipe;
    UniqueHandle connectEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED connect{};
    bool connectPending = false;
    bool connected = false;  // a client is there
    bool accepted = false;   // and Accept has said so
    OverlappedIo io;
    bool leaked = false;  // the system kept a buffer it was asked to give back

    State() { connect.hEvent = connectEvent.get(); }
    bool Valid() const { return connectEvent && io.Valid(); }
};

PipeServer::PipeServer() : state(std::make_unique<State>()) {}

PipeServer::~PipeServer() {
    Unmake();
    if (state->leaked)
        (void)state.release();  // the system may still write into it
}

SysError PipeServer::Make(const std::string& pipeName, std::string* why) {
    Unmake();
    if (state->leaked) {
        (void)state.release();  // the system may still write into its buffers
        state = std::make_unique<State>();
    }
    if (pipeName.compare(0, 9, "\\\\.\\pipe\\") != 0 || pipeName.size() == 9) {
        *why = "Only a pipe of this machine can be made: " + pipeName +
               " is not of the form \\\\.\\pipe\\NAME";
        return Win32Error(ERROR_INVALID_NAME);
    }
    if (!state->Valid()) {
        DWORD code = GetLastError();
        *why = Text("Could not make the pipe %s: no events to wait on, error %lu", pipeName, code);
        return Win32Error(code);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(SecurityText().c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        DWORD code = GetLastError();
        *why = Text("Could not make the pipe %s: no security descriptor, error %lu", pipeName, code);
        return Win32Error(code);
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    state->pipe.reset(CreateNamedPipeW(
        Widen(pipeName).c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBuffer, kPipeBuffer, 0, &attributes));
    DWORD code = GetLastError();
    LocalFree(descriptor);
    if (!state->pipe) {
        if (code == ERROR_ACCESS_DENIED || code == ERROR_PIPE_BUSY)
            *why = Text("The pipe %s exists already: another program made it, and tolvi "
                        "takes over no pipe of another's (error %lu)",
                        pipeName, code);
        else
            *why = Text("Could not make the pipe %s, error %lu", pipeName, code);
        return Win32Error(code);
    }
    state->name = pipeName;
    Disconnect();  // waits for the first client
    return {};
}

bool PipeServer::IsMade() const {
    return static_cast<bool>(state->pipe);
}

SysError PipeServer::Accept() {
    State& s = *state;
    if (!s.pipe)
        return Win32Error(ERROR_INVALID_HANDLE);
    if (s.connectPending) {
        DWORD unused = 0;
        if (!GetOverlappedResult(s.pipe.get(), &s.connect, &unused, FALSE)) {
            DWORD code = GetLastError();
            if (code == ERROR_IO_INCOMPLETE)
                return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
            s.connectPending = false;
            Disconnect();  // it came and went: the next one
            return {ERROR_IO_PENDING, ErrorKind::WouldBlock};
        }
        s.connectPending = false;
        s.connected = true;
    }
    if (!s.connected) {
        Disconnect();  // the last try to wait failed: try again
        if (!s.connected)
            return s.connectPending ? SysError{ERROR_IO_PENDING, ErrorKind::WouldBlock}
                                    : LastWin32Error();
    }
    if (!s.accepted) {
        s.accepted = true;
        StartRead();
    }
    return {};
}

bool PipeServer::IsOpen() const {
    return state->accepted;
}

bool PipeServer::AwaitsClient() const {
    return state->pipe && (state->connectPending || state->connected);
}

void PipeServer::Disconnect() {
    State& s = *state;
    if (!s.pipe)
        return;
    if (!s.io.Abandon(s.pipe.get()))
        s.leaked = true;
    if (s.leaked) {
        // A buffer the system keeps cannot be used again: the pipe goes, and is made anew.
        std::string name = s.name;
        s.pipe.reset();
        (void)state.release();
        state = std::make_unique<State>();
        std::string why;
        Make(name, &why);
        return;
    }
    s.io.Reset();
    s.accepted = false;
    if (s.connectPending)
        return;  // still waiting: nobody was there
    DisconnectNamedPipe(s.pipe.get());
    s.connected = false;
    // A client may connect, or connect and leave, between the make or the disconnect and
    // this call: both are told here rather than by the event.
    for (int tries = 0; tries < 4; ++tries) {
        ResetEvent(s.connectEvent.get());
        if (ConnectNamedPipe(s.pipe.get(), &s.connect)) {
            s.connected = true;
            return;
        }
        DWORD code = GetLastError();
        if (code == ERROR_IO_PENDING) {
            s.connectPending = true;
            return;
        }
        if (code == ERROR_PIPE_CONNECTED) {
            s.connected = true;
            return;
        }
        if (code != ERROR_NO_DATA)
            return;  // Accept tries again
        DisconnectNamedPipe(s.pipe.get());
    }
}

void PipeServer::Unmake() {
    State& s = *state;
    if (!s.pipe)
        return;
    if (s.connectPending && !AbandonIo(s.pipe.get(), &s.connect))
        s.leaked = true;
    s.connectPending = false;
    if (!s.io.Abandon(s.pipe.get()))
        s.leaked = true;
    s.connected = s.accepted = false;
    s.pipe.reset();
}

void PipeServer::StartRead() {
    state->io.StartRead(state->pipe.get());
}

SysError PipeServer::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (!IsOpen())
        return Win32Error(ERROR_PIPE_NOT_CONNECTED);
    return state->io.Read(state->pipe.get(), buffer, size, got);
}

SysError PipeServer::Write(const void* data, uint32_t size, uint32_t* taken) {
    *taken = 0;
    if (!IsOpen())
        return Win32Error(ERROR_PIPE_NOT_CONNECTED);
    return state->io.Write(state->pipe.get(), data, size, taken);
}

bool PipeServer::WritePending() const {
    return IsOpen() && state->io.WritePending();
}

void* PipeServer::ConnectEvent() const {
    return state->pipe && state->connectPending ? state->connectEvent.get() : nullptr;
}

bool PipeServer::ConnectedUntaken() const {
    return state->connected && !state->accepted;
}

bool PipeServer::ReadPending() const {
    return IsOpen() && state->io.ReadPending();
}

void* PipeServer::ReadEvent() const {
    return state->io.ReadEvent();
}

void* PipeServer::WriteEvent() const {
    return state->io.WriteEvent();
}

}  // namespace tolvi::platform
