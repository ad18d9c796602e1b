// wine_relay_bench: tolvi-relay.exe against the simplest relay that can be written for the
// same job, both as programs of their own under wine, both fed by the test pipe server in
// this process: throughput each way, one-byte round trips, and the CPU that a connected
// idle client costs, the relay's process and wineserver counted together.
//   wine_relay_bench.exe [MiB]                  (64 by default)
//   wine_relay_bench.exe --blocking-relay PIPE PORT   (the reference relay itself)
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Transfers.h"
#include "pipeserver/PipeServer.h"
#include "support/SocketTools.h"

namespace {

using tolvi::tools::PipeServer;
namespace bench = tolvi::bench;
namespace platform = tolvi::platform;
constexpr int kIdleSeconds = 10;
constexpr DWORD kChunk = 64 * 1024;

// ---- The reference: two threads, each blocked in one call at a time. -----------------------

// One overlapped operation waited for at once: a pipe handle that both threads use must be
// opened for overlapped I/O, or the system would queue one thread's call behind the other's.
bool Finish(HANDLE pipe, OVERLAPPED* ov, BOOL started, DWORD* n) {
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(pipe, ov, n, TRUE) != 0;
}

int BlockingRelay(const char* pipeName, int port) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<u_short>(port));
    if (bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 1))
        return 1;
    SOCKET client = accept(listener, nullptr, nullptr);
    HANDLE pipe = CreateFileA(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (client == INVALID_SOCKET || pipe == INVALID_HANDLE_VALUE)
        return 1;
    std::thread down([&] {
        std::vector<char> buffer(kChunk);
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD n = 0;
        while (Finish(pipe, &ov, ReadFile(pipe, buffer.data(), kChunk, &n, &ov), &n)) {
            for (DWORD sent = 0; sent < n;) {
                int r = send(client, buffer.data() + sent, static_cast<int>(n - sent), 0);
                if (r <= 0)
                    return;
                sent += static_cast<DWORD>(r);
            }
        }
    });
    std::vector<char> buffer(kChunk);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        int got = recv(client, buffer.data(), kChunk, 0);
        DWORD n = 0;
        if (got <= 0 || !Finish(pipe, &ov, WriteFile(pipe, buffer.data(), got, &n, &ov), &n))
            break;
    }
    CloseHandle(pipe);
    down.join();
    return 0;
}

// ---- Measuring from outside. ------------------------------------------------------------

double ProcessCpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// wineserver is a Linux process, outside every Windows API; its figures are read from /proc
// through the drive that wine maps to the Linux root. The one of this prefix is the one whose
// environment names it.
std::string FindWineServerStat() {
    char prefix[MAX_PATH] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    std::string fallback;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    do {
        std::string pid = found.cFileName;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string dir = "Z:\\proc\\" + pid;
        FILE* comm = std::fopen((dir + "\\comm").c_str(), "rb");
        if (!comm)
            continue;
        char name[64] = "";
        std::fgets(name, sizeof name, comm);
        std::fclose(comm);
        if (std::string(name).rfind("wineserver", 0) != 0)
            continue;
        if (fallback.empty())
            fallback = dir + "\\stat";
        if (!*prefix)
            continue;
        FILE* env = std::fopen((dir + "\\environ").c_str(), "rb");
        std::string text;
        char chunk[4096];
        size_t n;
        while (env && (n = std::fread(chunk, 1, sizeof chunk, env)) > 0)
            text.append(chunk, n);
        if (env)
            std::fclose(env);
        if (text.find(std::string("WINEPREFIX=") + prefix + '\0') != std::string::npos) {
            FindClose(search);
            return dir + "\\stat";
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return fallback;
}

double LinuxCpuSeconds(const std::string& statPath) {
    FILE* f = statPath.empty() ? nullptr : std::fopen(statPath.c_str(), "rb");
    if (!f)
        return 0;
    char text[1024] = "";
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = 0;
    const char* p = std::strrchr(text, ')');
    unsigned long long utime = 0, stime = 0;
    // After the name: state, then fields 4 to 13, then utime and stime.
    if (p)
        std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime);
    return double(utime + stime) / 100.0;  // USER_HZ
}

// ---- The measurements, the same for both relays. -------------------------------------------

struct Figures {
    bench::Transfers transfers;
    double idleProgram = 0, idleServer = 0;
};

Figures Measure(const char* name, const std::string& commandLine, uint16_t port,
                const std::string& pipeName, bool tolviBanner, size_t bytes,
                const std::string& serverStat) {
    Figures f;
    PipeServer pipe(pipeName);
    std::string error;
    if (!pipe.Listen(&error)) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return f;
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi)) {
        std::fprintf(stderr, "%s: cannot start %s\n", name, commandLine.c_str());
        return f;
    }
    platform::TcpSocket client;
    for (int i = 0; i < 200 && !client.IsValid(); ++i) {
        platform::SysError e;
        client = platform::TcpSocket::CreateStream(&e);
        if (tolvi::test::Connect(client, "127.0.0.1", port).Failed()) {
            client.Close();
            Sleep(50);
        }
    }
    if (!client.IsValid() || !pipe.WaitClient(10000)) {
        std::fprintf(stderr, "%s: no connection\n", name);
        TerminateProcess(pi.hProcess, 1);
        return f;
    }
    if (tolviBanner) {
        bench::ReadExactly(client, bench::kTolviBanner);
        bench::PipeReadExactly(pipe, 1);  // the carriage return on opening
    }
    bench::Transfers t = bench::MeasureTransfers(client, pipe, bytes, 2000);
    f.transfers = t;

    // A connected client that sends nothing, and a pipe server that waits on a pending read.
    double program0 = ProcessCpuSeconds(pi.hProcess), server0 = LinuxCpuSeconds(serverStat);
    auto start = bench::Clock::now();
    Sleep(kIdleSeconds * 1000);
    double wall = bench::Seconds(start);
    f.idleProgram = 100.0 * (ProcessCpuSeconds(pi.hProcess) - program0) / wall;
    f.idleServer = 100.0 * (LinuxCpuSeconds(serverStat) - server0) / wall;

    client.Close();
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return f;
}

// A Linux path as wine shows it: on drive Z:, with backslashes.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

std::string Beside(const char* file) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path, n);
    return self.substr(0, self.find_last_of("\\/") + 1) + file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--blocking-relay")
        return BlockingRelay(argv[2], std::atoi(argv[3]));
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    size_t bytes = mib * 1048576;
    std::string relay = argc > 2 ? argv[2] : WindowsPath(TOLVI_RELAY_EXE);
    std::string serverStat = FindWineServerStat();
    std::string id = std::to_string(GetCurrentProcessId());

    std::string tolviPipe = "\\\\.\\pipe\\tolvi-wbench-" + id;
    uint16_t tolviPort = bench::FreePort();
    Figures tolvi =
        Measure("tolvi-relay", "\"" + relay + "\" " + tolviPipe + " " + std::to_string(tolviPort),
                tolviPort, tolviPipe, true, bytes, serverStat);

    std::string plainPipe = "\\\\.\\pipe\\plain-wbench-" + id;
    uint16_t plainPort = bench::FreePort();
    Figures plain = Measure("blocking relay",
                            "\"" + Beside("wine_relay_bench.exe") + "\" --blocking-relay " +
                                plainPipe + " " + std::to_string(plainPort),
                            plainPort, plainPipe, false, bytes, serverStat);

    std::printf("wine_relay_bench: %zu MiB each way, 2000 one-byte round trips, %d s idle%s\n", mib,
                kIdleSeconds, serverStat.empty() ? " (wineserver not found)" : "");
    std::printf("%-34s %12s %12s %8s\n", "figure", "tolvi-relay", "blocking", "ratio");
    bench::PrintTransfers(34, tolvi.transfers, plain.transfers);
    std::printf("%-34s %12.2f %12.2f %8s\n", "idle CPU, relay process, %", tolvi.idleProgram,
                plain.idleProgram, "-");
    std::printf("%-34s %12.2f %12.2f %8s\n", "idle CPU, wineserver, %", tolvi.idleServer,
                plain.idleServer, "-");
    std::printf("%-34s %12.2f %12.2f %8s\n", "idle CPU, together, % of a core",
                tolvi.idleProgram + tolvi.idleServer, plain.idleProgram + plain.idleServer, "-");
    return 0;
}
