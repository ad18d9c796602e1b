// Helpers for the live tests: a TCP client, a pipe name of the test's own, waiting with a
// deadline.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/Socket.h"

namespace tolvi::test {

// A pipe name no other test or run uses: "\\.\pipe\tolvi-test-<pid>-<n>".
std::string UniquePipeName();

// Polls until done() or timeoutMs has passed; returns done()'s last answer.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// True once value() is above zero and has not changed for 300 ms (a transfer that has come
// to a standstill), false when that has not happened within timeoutMs.
bool WaitUntilSteady(const std::function<int64_t()>& value, int timeoutMs);

// Milliseconds since an arbitrary start, for timing stops.
int64_t NowMs();

// The CPU time this process has used so far, every thread counted.
double ProcessCpuSeconds();

// Decodes what a Telnet client receives into the data it stands for: IAC IAC is one 255, and
// commands (IAC and the next byte, IAC WILL/WONT/DO/DONT and an option) are left out.
class TelnetDecoder {
  public:
    std::string Feed(const std::string& bytes);

  private:
    int state = 0;  // 0 data, 1 after IAC, 2 after an option command
};

// The banners an admitted client receives when the pipe opens, Telnet announcements included.
extern const std::string kAttaching;
extern const std::string kConnectedBanner;

std::string Bytes(std::initializer_list<int> values);

// Pipe data as a Telnet client receives it: every 255 doubled.
std::string Doubled(const std::string& data);

// Compares long byte strings and names the first difference instead of printing them whole.
testing::AssertionResult SameBytes(const std::string& got, const std::string& expected);

// A port that no socket holds at the moment, for a connector to listen on.
uint16_t FreePort();

// A listening socket that holds a port the way another program would, refusing to share it.
platform::TcpSocket HoldPortExclusively(uint16_t* port);

class TestClient {
  public:
    // Connects to to:port (127.0.0.1 unless said otherwise), from the local address from when
    // one is given; with
    // receiveBuffer, the socket's receive buffer is made that small first (a slow reader).
    bool Connect(uint16_t port, const std::string& from = "", int receiveBuffer = 0,
                 const std::string& to = "127.0.0.1");
    bool Send(const std::string& data);
    // Everything that arrives until the text holds needle or timeoutMs has passed.
    std::string ReadUntil(const std::string& needle, int timeoutMs);
    // Exactly count bytes, or fewer when timeoutMs passes first.
    std::string ReadCount(size_t count, int timeoutMs);
    // Everything that arrives within ms.
    std::string ReadFor(int ms);
    // True when the peer closes the connection within timeoutMs (data before it is dropped).
    bool WaitClosed(int timeoutMs);
    void Close() { connection.Close(); }
    void Reset();
    platform::TcpSocket& Socket() { return connection; }

  private:
    // One receive of at most most bytes after waiting up to ms: the bytes, "" on timeout;
    // closed set at the end.
    std::string ReceiveSome(int ms, size_t most = 65536);
    platform::TcpSocket connection;
    bool closed = false;
};

}  // namespace tolvi::test
