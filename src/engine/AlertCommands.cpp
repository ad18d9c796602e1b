// Running alert commands within their bounds.
#include "engine/AlertCommands.h"

#include "engine/Format.h"
#include "platform/ErrorText.h"

namespace tolvi {

constexpr std::chrono::seconds AlertCommands::kLongest;
constexpr std::chrono::milliseconds AlertCommands::kLookEvery;

void AlertCommands::Run(const std::string& line, const platform::Environment& added) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(lock);
        commandLine = line;
        lines = Look();
        if (running.size() >= kMostRunning) {
            lines.push_back(Format("Alert command %s not started: %d of its commands still run",
                                   line.c_str(), static_cast<int>(kMostRunning)));
        } else {
            lines.push_back(StartLocked(line, added));
        }
    }
    for (const std::string& text : lines) {
        if (!text.empty())
            say(text);
    }
}

// Under lock: starts one command and the watch that ends it in time; what is to be said.
std::string AlertCommands::StartLocked(const std::string& line, const platform::Environment& added) {
    auto process = std::make_unique<platform::ChildProcess>();
    platform::SysError error = process->Start(line, added);
    if (error.Failed())
        return Format("Could not start the alert command %s (%s)", line.c_str(),
                      platform::GetSystemErrorText(error.code).c_str());
    running.push_back(Command{std::move(process), std::chrono::steady_clock::now() + kLongest});
    stopping = false;
    if (!watching) {
        watcher.Join();  // one that ended with the last command it watched
        watching = !watcher.Start(&AlertCommands::Watch, this).Failed();
    }
    if (!watching) {
        // Nothing would end it in time: it ends now rather than run unbounded.
        running.back().process->Kill();
        running.pop_back();
        return Format("Alert command %s not started: no thread could watch it", line.c_str());
    }
    news.notify_all();
    return "";
}

// Under lock: collects the commands that ended and ends those past their time; what is to be
// said of them.
std::vector<std::string> AlertCommands::Look() {
    std::vector<std::string> ended;
    auto now = std::chrono::steady_clock::now();
    for (auto it = running.begin(); it != running.end();) {
        if (it->process->Exited()) {
            it = running.erase(it);
        } else if (now >= it->deadline) {
            it->process->Kill();
            it = running.erase(it);
            ended.push_back(Format("Alert command %s ended: it ran for %d s",
                                   commandLine.c_str(), static_cast<int>(kLongest.count())));
        } else {
            ++it;
        }
    }
    return ended;
}

void AlertCommands::Watch(void* self) {
    auto* commands = static_cast<AlertCommands*>(self);
    std::unique_lock<std::mutex> hold(commands->lock);
    // Only while commands run: with none, the thread ends, and idle connectors wake for nothing.
    while (!commands->stopping && !commands->running.empty()) {
        commands->news.wait_for(hold, kLookEvery);
        if (commands->stopping)
            break;
        std::vector<std::string> ended = commands->Look();
        if (ended.empty())
            continue;
        hold.unlock();  // whoever is told may take its time
        for (const std::string& text : ended)
            commands->say(text);
        hold.lock();
    }
    commands->watching = false;
}

void AlertCommands::EndAll() {
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
        for (Command& c : running)
            c.process->Kill();
        running.clear();
    }
    news.notify_all();
    watcher.Join();
    std::lock_guard<std::mutex> hold(lock);
    watching = false;
}

size_t AlertCommands::Running() {
    std::vector<std::string> ended;
    size_t count;
    {
        std::lock_guard<std::mutex> hold(lock);
        ended = Look();
        count = running.size();
    }
    for (const std::string& text : ended)
        say(text);
    return count;
}

}  // namespace tolvi
