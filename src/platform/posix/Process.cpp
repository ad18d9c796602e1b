// Starting a program on POSIX: posix_spawnp with the words of its command line, in a process
// group of its own, with every descriptor but the standard three closed and the signals this
// program ignores back at their defaults.
#include "platform/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/PosixError.h"

extern char** environ;

namespace tolvi::platform {
namespace {

std::vector<std::string> Variables(const Environment& added) {
    std::vector<std::string> variables;
    for (char** e = environ; e && *e; ++e) {
        bool replaced = false;
        for (const auto& [name, value] : added)
            replaced = replaced || (std::strncmp(*e, name.c_str(), name.size()) == 0 &&
                                    (*e)[name.size()] == '=');
        if (!replaced)
            variables.push_back(*e);
    }
    for (const auto& [name, value] : added)
        variables.push_back(name + "=" + value);
    return variables;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid > 0 && !Exited())
        Kill();
}

SysError ChildProcess::Start(const std::string& commandLine, const Environment& added) {
    std::vector<std::string> words;
    if (!SplitCommandLine(commandLine, &words) || words.empty())
        return ErrnoError(EINVAL);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = Variables(added);
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
    // Descriptors that libraries opened without close-on-exec (the web console's sockets)
    // are closed as well as ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    pid_t started = 0;
    int code = posix_spawnp(&started, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (code != 0)
        return ErrnoError(code);
    pid = started;
    return {};
}

bool ChildProcess::Exited() {
    if (pid <= 0)
        return true;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0)
        return false;
    pid = -1;  // collected, or not ours to collect any more
    return true;
}

void ChildProcess::Kill() {
    if (pid <= 0)
        return;
    kill(-pid, SIGKILL);  // the group it leads: what it started too
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

}  // namespace tolvi::platform
