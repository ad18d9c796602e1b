// The test pipe server's modes.
#include "pipeserver/ServeModes.h"

#include "platform/AppendFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace tolvi::tools {
namespace {

const int kReadWaitMs = 200;

void Echo(PipeServer& server, const std::atomic<bool>& stop) {
    char buffer[4096];
    while (!stop) {
        long n = server.Read(buffer, sizeof buffer, kReadWaitMs);
        if (n < 0 || (n > 0 && !server.Write(buffer, static_cast<size_t>(n))))
            return;
    }
}

void Say(PipeServer& server, const std::string& text) {
    server.Write(text.data(), text.size());
}

std::string Answer(const std::string& line) {
    if (line.empty())
        return "";
    if (line == "help")
        return "commands: help, echo TEXT, uptime, count N, bye\r\n";
    if (line.rfind("echo ", 0) == 0)
        return line.substr(5) + "\r\n";
    if (line == "uptime")
        return "up since the pipe was opened\r\n";
    return "unknown command: " + line + " (try help)\r\n";
}

// A serial console as a virtual machine offers it: it echoes what is typed, answers each
// line, and prompts again on every carriage return.
void Console(PipeServer& server, const std::atomic<bool>& stop) {
    const std::string prompt = "demo> ";
    Say(server, "\r\ntolvi demo console\r\n" + prompt);
    std::string line;
    char buffer[256];
    while (!stop) {
        long n = server.Read(buffer, sizeof buffer, kReadWaitMs);
        if (n < 0)
            return;
        for (long i = 0; i < n; ++i) {
            char c = buffer[i];
            if (c == '\r' || c == '\n') {
                if (c == '\n' && line.empty())
                    continue;  // the LF of a CR LF
                Say(server, "\r\n");
                if (line == "bye") {
                    Say(server, "bye\r\n");
                    return;
                }
                if (line.rfind("count ", 0) == 0) {
                    // An answer that takes its time: a line every 400 ms, as a slow command's.
                    for (int i = 1, n = std::atoi(line.c_str() + 6); i <= n && i <= 100 && !stop;
                         ++i) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(400));
                        Say(server, std::to_string(i) + "\r\n");
                    }
                    Say(server, prompt);
                    line.clear();
                    continue;
                }
                Say(server, Answer(line) + prompt);
                line.clear();
            } else if (c == 8 || c == 127) {
                if (!line.empty()) {
                    line.pop_back();
                    Say(server, "\b \b");
                }
            } else if (static_cast<unsigned char>(c) >= 32) {
                line += c;
                server.Write(&c, 1);
            }
        }
    }
}

void Stream(PipeServer& server, uint64_t total, const std::atomic<bool>& stop) {
    uint8_t buffer[65536];
    uint64_t sent = 0;
    while (sent < total && !stop) {
        size_t n = 0;
        for (; n < sizeof buffer && sent + n < total; ++n)
            buffer[n] = StreamByte(sent + n);
        if (!server.Write(buffer, n))
            return;
        sent += n;
    }
    // Keep the session open until the client leaves, as a console would.
    while (!stop && server.Read(buffer, sizeof buffer, kReadWaitMs) >= 0) {
    }
}

void Sink(PipeServer& server, const std::string& file, const std::atomic<bool>& stop) {
    platform::AppendFile out;
    uint64_t size = 0;
    out.Open(file, &size);
    char buffer[4096];
    while (!stop) {
        long n = server.Read(buffer, sizeof buffer, kReadWaitMs);
        if (n < 0)
            break;
        if (out.IsOpen() && n > 0)
            out.Write(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

void ServeClient(PipeServer& server, const ServeOptions& options, const std::atomic<bool>& stop) {
    if (options.mode == "echo")
        Echo(server, stop);
    if (options.mode == "console")
        Console(server, stop);
    if (options.mode == "stream")
        Stream(server, options.streamBytes, stop);
    if (options.mode == "sink")
        Sink(server, options.sinkFile, stop);
}

}  // namespace tolvi::tools
