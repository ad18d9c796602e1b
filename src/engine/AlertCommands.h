// The commands a connector runs at its alerts, kept in bounds: at most kMostRunning at once
// (an alert that finds them all running starts none), none for longer than kLongest, and none
// after the connector stops. A command that hangs would otherwise add a process at every
// alert for as long as the console keeps printing its pattern.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/Thread.h"

namespace tolvi {

class AlertCommands {
  public:
    static constexpr size_t kMostRunning = 4;
    static constexpr std::chrono::seconds kLongest{60};
    // How often running commands are looked at for their end.
    static constexpr std::chrono::milliseconds kLookEvery{200};

    // say: one line about a command skipped, ended or not started, from any thread.
    using Say = std::function<void(const std::string&)>;
    explicit AlertCommands(Say say) : say(std::move(say)) {}
    ~AlertCommands() { EndAll(); }
    AlertCommands(const AlertCommands&) = delete;
    AlertCommands& operator=(const AlertCommands&) = delete;

    // Starts commandLine with added in its environment, unless kMostRunning still run.
    void Run(const std::string& commandLine, const platform::Environment& added);
    // Ends every command still running; later alerts may start new ones.
    void EndAll();
    size_t Running();

  private:
    struct Command {
        std::unique_ptr<platform::ChildProcess> process;
        std::chrono::steady_clock::time_point deadline;
    };
    static void Watch(void* self);
    std::string StartLocked(const std::string& line, const platform::Environment& added);
    std::vector<std::string> Look();

    Say say;
    std::mutex lock;
    std::condition_variable news;
    std::vector<Command> running;  // guarded by lock
    std::string commandLine;       // guarded by lock: the last one run, for the lines said
    bool stopping = false;         // guarded by lock
    bool watching = false;         // guarded by lock: the watch thread runs
    platform::WorkerThread watcher;
};

}  // namespace tolvi
