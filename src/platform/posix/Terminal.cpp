// The terminal on POSIX: termios raw mode on standard input, and a reader thread that waits on
// standard input and a pipe of its own, through which Release ends it at once.
#include "platform/Terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/TerminalInput.h"
#include "platform/Thread.h"

namespace tolvi::platform {

struct Terminal::State {
    TerminalInput input;
    bool raw = false;
    termios saved{};
    int stopRead = -1, stopWrite = -1;  // readable once the reader is to stop
    WorkerThread reader;

    void Read();
};

void Terminal::State::Read() {
    char buffer[4096];
    while (input.WaitForRoom()) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stopRead, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            return;
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        input.Append(buffer, static_cast<size_t>(n));
    }
    input.End();
}

Terminal::Terminal() : state(std::make_shared<State>()) {}

Terminal::~Terminal() {
    Release();
}

std::string Terminal::Take() {
    State& s = *state;
    std::string problem;
    if (isatty(STDIN_FILENO)) {
        if (tcgetattr(STDIN_FILENO, &s.saved) == 0) {
            termios raw = s.saved;
            raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
            // The console's own line endings reach the screen as they are, as on a real terminal.
            raw.c_oflag &= ~tcflag_t(OPOST);
            raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
            raw.c_cflag &= ~tcflag_t(CSIZE | PARENB);
            raw.c_cflag |= CS8;
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            s.raw = tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) == 0;
        }
        if (!s.raw)
            problem = std::string("the terminal stays as it is: ") + std::strerror(errno);
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        s.input.End();
        return problem.empty() ? "nothing can be typed: " + std::string(std::strerror(errno))
                               : problem;
    }
    s.stopRead = fds[0];
    s.stopWrite = fds[1];
    if (s.reader.Start([](void* self) { static_cast<State*>(self)->Read(); }, &s).Failed())
        s.input.End();
    return problem;
}

bool Terminal::KeysRaw() const {
    return state->raw;
}

void Terminal::Release() {
    State& s = *state;
    s.input.Stop();
    if (s.stopWrite >= 0) {
        const char one = 1;
        while (write(s.stopWrite, &one, 1) < 0 && errno == EINTR) {
        }
    }
    s.reader.Join();
    for (int* fd : {&s.stopRead, &s.stopWrite}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (s.raw)
        tcsetattr(STDIN_FILENO, TCSADRAIN, &s.saved);
    s.raw = false;
}

WakeSignal& Terminal::InputWaiting() {
    return state->input.Waiting();
}

std::string Terminal::TakeInput(bool* ended) {
    return state->input.Take(ended);
}

bool Terminal::Write(const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out = {STDOUT_FILENO, POLLOUT, 0};
            poll(&out, 1, 100);
            continue;
        }
        if (n <= 0)
            return false;  // nobody is left to read it
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void WriteMessage(const std::string& text) {
    std::fputs(text.c_str(), stderr);
}

}  // namespace tolvi::platform
