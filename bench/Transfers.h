// What both benchmarks measure through a relay, the same way: a stream from the pipe to the
// client, one from the client to the pipe, and one-byte round trips echoed by the pipe's
// server.
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <vector>

#include "pipeserver/PipeServer.h"
#include "platform/Socket.h"

namespace tolvi::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

inline bool ReadExactly(platform::TcpSocket& s, size_t count) {
    static thread_local char buffer[1 << 16];
    while (count > 0) {
        platform::IoResult r = s.Receive(buffer, std::min(count, sizeof buffer));
        if (r.count <= 0)
            return false;
        count -= size_t(r.count);
    }
    return true;
}

inline bool SendAll(platform::TcpSocket& s, const char* data, size_t size) {
    while (size > 0) {
        platform::IoResult r = s.Send(data, size);
        if (r.count <= 0)
            return false;
        data += r.count;
        size -= size_t(r.count);
    }
    return true;
}

inline size_t PipeReadExactly(tools::PipeServer& pipe, size_t count) {
    static thread_local char buffer[1 << 16];
    size_t got = 0;
    while (got < count) {
        long n = pipe.Read(buffer, std::min(count - got, sizeof buffer), 5000);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    return got;
}

// A port that nothing holds at the moment.
inline uint16_t FreePort() {
    platform::SysError e;
    platform::TcpSocket s = platform::TcpSocket::CreateStream(&e);
    s.Bind(platform::Endpoint::LoopbackV4(0));
    platform::Endpoint bound;
    s.LocalEndpoint(&bound);
    return bound.port;
}

// What a Telnet client of tolvi reads before the pipe's data: the waiting text, the text on
// opening and the two announcements.
constexpr size_t kTolviBanner = 26 + 14 + 6;

struct Transfers {
    double downMBps = 0, upMBps = 0, p50us = 0, p99us = 0;
};

inline double Ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

// The four rows of the transfer figures, ours beside theirs with the ratio; name is the width
// of the figure's column.
inline void PrintTransfers(int width, const Transfers& ours, const Transfers& theirs) {
    const struct {
        const char* name;
        double a, b;
    } rows[] = {
        {"pipe to client, MB/s", ours.downMBps, theirs.downMBps},
        {"client to pipe, MB/s", ours.upMBps, theirs.upMBps},
        {"round trip p50, us", ours.p50us, theirs.p50us},
        {"round trip p99, us", ours.p99us, theirs.p99us},
    };
    for (const auto& r : rows)
        std::printf("%-*s %12.1f %12.1f %10.2f\n", width, r.name, r.a, r.b, Ratio(r.a, r.b));
}

// The same rows against two tools: theirs as it comes and theirs tuned, with both ratios.
inline void PrintTransfers(int width, const Transfers& ours, const Transfers& theirs,
                           const Transfers& tuned) {
    const struct {
        const char* name;
        double a, b, c;
    } rows[] = {
        {"pipe to client, MB/s", ours.downMBps, theirs.downMBps, tuned.downMBps},
        {"client to pipe, MB/s", ours.upMBps, theirs.upMBps, tuned.upMBps},
        {"round trip p50, us", ours.p50us, theirs.p50us, tuned.p50us},
        {"round trip p99, us", ours.p99us, theirs.p99us, tuned.p99us},
    };
    for (const auto& r : rows) {
        std::printf("%-*s %12.1f %12.1f %12.1f %9.2f %9.2f\n", width, r.name, r.a, r.b, r.c,
                    Ratio(r.a, r.b), Ratio(r.a, r.c));
    }
}

// Runs the three measurements over a client connected through the relay to pipe.
inline Transfers MeasureTransfers(platform::TcpSocket& client, tools::PipeServer& pipe,
                                  size_t bytes, int trips) {
    Transfers t;
    std::vector<char> block(1 << 16);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = char('a' + i % 26);

    auto start = Clock::now();
    std::thread writer([&] {
        for (size_t sent = 0; sent < bytes; sent += block.size())
            pipe.Write(block.data(), std::min(block.size(), bytes - sent));
    });
    bool ok = ReadExactly(client, bytes);
    writer.join();
    t.downMBps = ok ? bytes / 1048576.0 / Seconds(start) : 0;

    start = Clock::now();
    std::thread sender([&] {
        for (size_t sent = 0; sent < bytes; sent += block.size())
            SendAll(client, block.data(), std::min(block.size(), bytes - sent));
    });
    size_t got = PipeReadExactly(pipe, bytes);
    sender.join();
    t.upMBps = got == bytes ? bytes / 1048576.0 / Seconds(start) : 0;

    std::atomic<bool> echoing{true};
    std::thread echo([&] {
        char c;
        while (echoing) {
            long n = pipe.Read(&c, 1, 100);
            if (n < 0)
                break;
            if (n == 1)
                pipe.Write(&c, 1);
        }
    });
    std::vector<double> rtts;
    rtts.reserve(static_cast<size_t>(trips));
    for (int i = 0; i < trips; ++i) {
        auto at = Clock::now();
        if (!SendAll(client, "x", 1) || !ReadExactly(client, 1))
            break;
        rtts.push_back(Seconds(at) * 1e6);
    }
    echoing = false;
    echo.join();
    if (!rtts.empty()) {
        std::sort(rtts.begin(), rtts.end());
        t.p50us = rtts[rtts.size() / 2];
        t.p99us = rtts[rtts.size() * 99 / 100];
    }
    return t;
}

}  // namespace tolvi::bench
