// Starting a program on POSIX: posix_spawnp with the words of its command line, and a thread
// that collects it when it ends.
#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/posix/PosixError.h"

extern char** environ;

namespace tolvi::platform {

SysError StartProgram(const std::string& commandLine, const Environment& added) {
    std::vector<std::string> words;
    if (!SplitCommandLine(commandLine, &words) || words.empty())
        return ErrnoError(EINVAL);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
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
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    int code = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data());
    if (code != 0)
        return ErrnoError(code);
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return {};
}

}  // namespace tolvi::platform
