// relay_bench: tolvi-relay against socat, as it comes and with 256 KiB buffers (-b 262144, as
// a user who tunes it runs it), on the same job (TCP on loopback to a Unix-domain stream
// socket): throughput each way, one-byte round trips, and CPU while a client idles. Then one
// console shared, a console's lines watched by alert patterns, and the patterns' matching alone.
//   relay_bench [MiB]     (256 by default)
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Transfers.h"
#include "engine/AlertPatterns.h"
#include "pipeserver/PipeServer.h"
#include "platform/Socket.h"
#include "support/SocketTools.h"

extern char** environ;

namespace {

namespace bench = tolvi::bench;
using tolvi::bench::Clock;
using tolvi::bench::FreePort;
using tolvi::bench::PipeReadExactly;
using tolvi::bench::ReadExactly;
using tolvi::bench::Seconds;
using tolvi::platform::TcpSocket;
using tolvi::tools::PipeServer;

struct Figures {
    bench::Transfers transfers;
    double idleCpuPercent = 0;
    long idleSwitches = 0;
};

constexpr int kIdleSeconds = 10;

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);  // O_WRONLY
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// CPU seconds a process has used, from /proc.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Context switches of every thread of a process so far, from /proc.
long ContextSwitches(pid_t pid) {
    long total = 0;
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::vector<std::string> ids;
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.')
                ids.push_back(e->d_name);
        }
        closedir(dir);
    }
    for (const std::string& id : ids) {
        std::ifstream status(tasks + "/" + id + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::atol(line.substr(line.find(':') + 1).c_str());
        }
    }
    return total;
}

Figures Measure(const char* name, const std::vector<std::string>& command, uint16_t port,
                const std::string& pipeName, bool tolviBanner, size_t bytes) {
    Figures f;
    PipeServer pipe(pipeName);
    std::string error;
    if (!pipe.Listen(&error)) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return f;
    }
    pid_t pid = Spawn(command);
    if (pid < 0) {
        std::fprintf(stderr, "%s: cannot start %s\n", name, command[0].c_str());
        return f;
    }
    TcpSocket client;
    for (int i = 0; i < 100; ++i) {
        tolvi::platform::SysError e;
        client = TcpSocket::CreateStream(&e);
        if (!tolvi::test::Connect(client, "127.0.0.1", port).Failed())
            break;
        client.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!client.IsValid() || !pipe.WaitClient(5000)) {
        std::fprintf(stderr, "%s: no connection\n", name);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return f;
    }
    if (tolviBanner) {
        ReadExactly(client, bench::kTolviBanner);
        PipeReadExactly(pipe, 1);  // the carriage return on opening
    }

    tolvi::bench::Transfers t = tolvi::bench::MeasureTransfers(client, pipe, bytes, 10000);
    f.transfers = t;

    // A connected client that sends nothing.
    double cpu0 = CpuSeconds(pid);
    long switches0 = ContextSwitches(pid);
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    f.idleCpuPercent = 100.0 * (CpuSeconds(pid) - cpu0) / Seconds(start);
    f.idleSwitches = ContextSwitches(pid) - switches0;

    client.Close();
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return f;
}

// What the pipe sends: a stream of letters, or a console's lines of line characters and CR LF;
// the alphabet over and over, or one letter alone.
struct ConsoleText {
    size_t line = 0;
    char letter = 0;
};
const ConsoleText kConsoleLines{79};

// The pipe's throughput to clients clients at once, each reading as fast as it can, through
// tolvi-relay with --max-clients 8: MB/s of pipe data until every client has all of it.
// With extra, the relay gets those options too; with pace, the pipe sends no faster than pace
// MB/s; *cpu, when given, is the CPU seconds the relay spent on it.
double SharedThroughput(int clients, size_t bytes, uint16_t port, const std::string& pipeName,
                        ConsoleText text = {}, const std::vector<std::string>& extra = {},
                        double* cpu = nullptr, double pace = 0) {
    PipeServer pipe(pipeName);
    std::string error;
    if (!pipe.Listen(&error))
        return 0;
    std::vector<std::string> command = {TOLVI_RELAY_PATH, pipeName, std::to_string(port),
                                        "--max-clients", "8"};
    command.insert(command.end(), extra.begin(), extra.end());
    pid_t pid = Spawn(command);
    double cpu0 = CpuSeconds(pid);
    std::vector<TcpSocket> sockets(static_cast<size_t>(clients));
    for (TcpSocket& s : sockets) {
        for (int i = 0; i < 100; ++i) {
            tolvi::platform::SysError e;
            s = TcpSocket::CreateStream(&e);
            if (!tolvi::test::Connect(s, "127.0.0.1", port).Failed())
                break;
            s.Close();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (&s == &sockets.front() && !pipe.WaitClient(5000))
            break;
        ReadExactly(s, bench::kTolviBanner);
    }
    PipeReadExactly(pipe, 1);  // the carriage return for the first client
    // Whole lines in a block, so that every line is as long as the next.
    const size_t period = text.line + 2;
    std::vector<char> block(text.line ? period * std::max<size_t>(1, (1 << 16) / period) : 1 << 16);
    for (size_t i = 0; i < block.size(); ++i) {
        if (text.line && i % period >= text.line)
            block[i] = "\r\n"[i % period - text.line];
        else
            block[i] = text.letter ? text.letter : char('a' + i % 26);
    }
    auto start = Clock::now();
    std::vector<std::thread> readers;
    std::atomic<int> complete{0};
    for (TcpSocket& s : sockets)
        readers.emplace_back([&] { complete += ReadExactly(s, bytes) ? 1 : 0; });
    for (size_t sent = 0; sent < bytes; sent += block.size()) {
        pipe.Write(block.data(), std::min(block.size(), bytes - sent));
        if (pace > 0)
            std::this_thread::sleep_until(
                start + std::chrono::duration<double>((sent + block.size()) / 1048576.0 / pace));
    }
    for (auto& r : readers)
        r.join();
    double mbps = complete == clients ? bytes / 1048576.0 / Seconds(start) : 0;
    if (cpu)
        *cpu = CpuSeconds(pid) - cpu0;
    for (TcpSocket& s : sockets)
        s.Close();
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return mbps;
}

// Microseconds per call of f, over calls calls.
template <typename F>
double Micros(int calls, F f) {
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    return Seconds(start) * 1e6 / calls;
}

// The patterns' matching alone, on the watcher's path: all of a console's patterns in one pass
// over a line, beside each on its own (what the watch falls back to), and patterns that take
// a backtracking matcher exponential or quadratic time on 4 KiB lines.
void MatchingFigures() {
    std::vector<tolvi::AlertPattern> patterns;
    tolvi::CompileAlertPatterns(
        "(?i)kernel panic\nOops:\nBUG: \nlogin: $\nsegfault at [0-9a-f]+\n(?i)call trace\n"
        "STOP: 0x[0-9A-F]{8}\nOut of memory\n(?i)watchdog.*stuck\n"
        "^\\[ *[0-9]+\\.[0-9]+\\] EXT4-fs error",
        &patterns);
    const tolvi::AlertMatcher together(patterns);
    std::string line;
    for (int i = 0; i < 79; ++i)
        line += char('a' + i % 26);
    std::vector<int> matched;
    size_t found = 0;
    const int kCalls = 200000;
    const double all = Micros(kCalls, [&] {
        together.Match(line, &matched);
        found += matched.size();
    });
    const double alone = Micros(kCalls, [&] {
        for (const tolvi::AlertPattern& p : patterns)
            found += tolvi::MatchesAlert(p, line);
    });
    std::printf("\nrelay_bench: alert patterns matched, per line\n");
    std::printf("%-40s %10s %12s\n", "figure", "together", "each alone");
    std::printf("%-40s %10.2f %12.2f\n", "10 patterns, 79 characters: us", all, alone);
    std::printf("%-40s %10.1f %12.1f\n", "10 patterns, 79 characters: MB/s", 81 / all, 81 / alone);
    const std::string as(4096, 'a');
    for (const char* source : {"(a*)*b", ".*(error|fail)", "(x+x+)+y"}) {
        std::vector<tolvi::AlertPattern> one;
        tolvi::CompileAlertPatterns(source, &one);
        const tolvi::AlertMatcher matcher(one);
        const double us = Micros(2000, [&] {
            matcher.Match(as, &matched);
            found += matched.size();
        });
        std::printf("%-40s %10.2f\n", (std::string(source) + ", 4 KiB of a's: us").c_str(), us);
    }
    if (found != 0)
        std::printf("(%zu matches where none were to be)\n", found);
}

}  // namespace

int main(int argc, char** argv) {
    tolvi::platform::StartSocketLibrary();
    size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    size_t bytes = mib * 1048576;
    std::string dir = "/tmp";
    if (const char* d = std::getenv("TOLVI_PIPE_DIR"))
        dir = d;
    std::string pid = std::to_string(getpid());

    std::string tolviPipe = "\\\\.\\pipe\\tolvi-bench-" + pid;
    uint16_t tolviPort = FreePort();
    Figures tolvi = Measure("tolvi-relay", {TOLVI_RELAY_PATH, tolviPipe, std::to_string(tolviPort)},
                            tolviPort, tolviPipe, true, bytes);

    std::string socatPipe = "\\\\.\\pipe\\socat-bench-" + pid;
    uint16_t socatPort = FreePort();
    Figures socat = Measure("socat",
                            {"socat", "TCP-LISTEN:" + std::to_string(socatPort) + ",reuseaddr",
                             "UNIX-CONNECT:" + dir + "/socat-bench-" + pid},
                            socatPort, socatPipe, false, bytes);
    uint16_t tunedPort = FreePort();
    Figures tuned =
        Measure("socat -b 262144",
                {"socat", "-b", "262144", "TCP-LISTEN:" + std::to_string(tunedPort) + ",reuseaddr",
                 "UNIX-CONNECT:" + dir + "/socat-bench-" + pid},
                tunedPort, socatPipe, false, bytes);

    std::printf("relay_bench: %zu MiB each way, 10000 one-byte round trips, %d s idle\n", mib,
                kIdleSeconds);
    std::printf("%-22s %12s %12s %12s %9s %9s\n", "figure", "tolvi-relay", "socat", "socat -b256K",
                "/ socat", "/ tuned");
    bench::PrintTransfers(22, tolvi.transfers, socat.transfers, tuned.transfers);
    std::printf("%-22s %12.2f %12.2f %12.2f\n", "idle CPU, % of a core", tolvi.idleCpuPercent,
                socat.idleCpuPercent, tuned.idleCpuPercent);
    std::printf("%-22s %12ld %12ld %12ld\n", "idle context switches", tolvi.idleSwitches,
                socat.idleSwitches, tuned.idleSwitches);

    // One console shared: the pipe's speed with eight clients beside its speed with one.
    std::string sharedPipe = "\\\\.\\pipe\\tolvi-share-" + pid;
    double one = SharedThroughput(1, bytes / 4, FreePort(), sharedPipe);
    double eight = SharedThroughput(8, bytes / 4, FreePort(), sharedPipe);
    std::printf("\nrelay_bench: one console, %zu MiB to every client, --max-clients 8\n", mib / 4);
    std::printf("%-26s %12s %12s %10s\n", "figure", "1 client", "8 clients", "ratio");
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "pipe throughput, MB/s", one, eight,
                bench::Ratio(eight, one));

    // Alerts are matched beside the relay: ten patterns of the kind users watch for, none of
    // which the lines match, so that every line is tried against all of them.
    std::vector<std::string> alerts;
    for (const char* pattern :
         {"(?i)kernel panic", "Oops:", "BUG: ", "login: $", "segfault at [0-9a-f]+",
          "(?i)call trace", "STOP: 0x[0-9A-F]{8}", "Out of memory", "(?i)watchdog.*stuck",
          "^\\[ *[0-9]+\\.[0-9]+\\] EXT4-fs error"}) {
        alerts.push_back("--alert");
        alerts.push_back(pattern);
    }
    double plainCpu = 0, alertCpu = 0;
    double plain =
        SharedThroughput(1, bytes / 4, FreePort(), sharedPipe, kConsoleLines, {}, &plainCpu);
    double watched =
        SharedThroughput(1, bytes / 4, FreePort(), sharedPipe, kConsoleLines, alerts, &alertCpu);
    std::printf("\nrelay_bench: one console's lines, %zu MiB to one client, 10 alert patterns\n",
                mib / 4);
    std::printf("%-26s %12s %12s %10s\n", "figure", "no alerts", "10 patterns", "ratio");
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "pipe throughput, MB/s", plain, watched,
                bench::Ratio(watched, plain));
    std::printf("%-26s %12.2f %12.2f %10.2f\n", "relay CPU, seconds", plainCpu, alertCpu,
                bench::Ratio(alertCpu, plainCpu));
    // At the rate a busy console prints: 10 MB/s for three seconds.
    const double kConsoleRate = 10;
    const size_t paced = size_t(3 * kConsoleRate * 1048576);
    plain = SharedThroughput(1, paced, FreePort(), sharedPipe, kConsoleLines, {}, &plainCpu,
                             kConsoleRate);
    watched = SharedThroughput(1, paced, FreePort(), sharedPipe, kConsoleLines, alerts, &alertCpu,
                               kConsoleRate);
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "at 10 MB/s: MB/s", plain, watched,
                bench::Ratio(watched, plain));
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "at 10 MB/s: CPU, % core", 100 * plainCpu / 3,
                100 * alertCpu / 3, bench::Ratio(alertCpu, plainCpu));

    // A recorded console beside an unrecorded one, at the console's rate and as fast as it
    // goes: the recording is written beside the relay, and may lose output, never speed.
    std::string folder = "/tmp/tolvi-bench-recordings-" + pid;
    std::vector<std::string> recorded = {"--record", "--record-dir", folder, "--audit",
                                         folder + ".audit.jsonl"};
    double recordedCpu = 0;
    plain = SharedThroughput(1, paced, FreePort(), sharedPipe, kConsoleLines, {}, &plainCpu, kConsoleRate);
    double kept = SharedThroughput(1, paced, FreePort(), sharedPipe, kConsoleLines, recorded, &recordedCpu,
                                   kConsoleRate);
    std::printf("\nrelay_bench: one console's lines to one client, recorded and not\n");
    std::printf("%-26s %12s %12s %10s\n", "figure", "unrecorded", "recorded", "ratio");
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "at 10 MB/s: MB/s", plain, kept,
                bench::Ratio(kept, plain));
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "at 10 MB/s: CPU, % core", 100 * plainCpu / 3,
                100 * recordedCpu / 3, bench::Ratio(recordedCpu, plainCpu));
    plain = SharedThroughput(1, bytes / 4, FreePort(), sharedPipe, kConsoleLines, {}, &plainCpu);
    kept = SharedThroughput(1, bytes / 4, FreePort(), sharedPipe, kConsoleLines, recorded, &recordedCpu);
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "fastest: MB/s", plain, kept,
                bench::Ratio(kept, plain));
    std::system(("rm -rf '" + folder + "' '" + folder + ".audit.jsonl'").c_str());

    // A pattern a backtracking matcher never finishes with, on 4 KiB lines of a's at 1 MB/s,
    // beside a second pattern for a line that does not come.
    const ConsoleText kAs{4094, 'a'};
    const std::vector<std::string> nested = {"--alert", "(a*)*b", "--alert", "HELLO"};
    const size_t slow = 3 * 1048576;
    plain = SharedThroughput(1, slow, FreePort(), sharedPipe, kAs, {}, &plainCpu, 1);
    watched = SharedThroughput(1, slow, FreePort(), sharedPipe, kAs, nested, &alertCpu, 1);
    std::printf(
        "\nrelay_bench: 4 KiB lines of a's at 1 MB/s for 3 s, --alert '(a*)*b' --alert HELLO\n");
    std::printf("%-26s %12s %12s %10s\n", "figure", "no alerts", "2 patterns", "ratio");
    std::printf("%-26s %12.1f %12.1f %10.2f\n", "CPU, % core", 100 * plainCpu / 3,
                100 * alertCpu / 3, bench::Ratio(alertCpu, plainCpu));
    MatchingFigures();
    return 0;
}
