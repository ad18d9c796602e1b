// Helpers for the live tests.
#include "support/TestClient.h"

#include "support/SocketTools.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include <atomic>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <process.h>
#define getpid _getpid
#else
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tolvi::test {

const std::string kAttaching = "attaching console,wait ...";
const std::string kConnectedBanner =
    "connected!\r\n\r\n" + std::string("\xff\xfb\x01\xff\xfb\x03", 6);

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

std::string Doubled(const std::string& data) {
    std::string out;
    out.reserve(data.size() + data.size() / 128);
    for (char c : data) {
        out += c;
        if (c == '\xff')
            out += c;
    }
    return out;
}

testing::AssertionResult SameBytes(const std::string& got, const std::string& expected) {
    if (got == expected)
        return testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    return testing::AssertionFailure()
           << "got " << got.size() << " bytes, expected " << expected.size()
           << "; the first difference is at byte " << at;
}

std::string UniquePipeName() {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\tolvi-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool WaitUntilSteady(const std::function<int64_t()>& value, int timeoutMs) {
    int64_t last = -1;
    return WaitUntil(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            int64_t now = value();
            bool still = now == last && now > 0;
            last = now;
            return still;
        },
        timeoutMs);
}

double ProcessCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

std::string TelnetDecoder::Feed(const std::string& bytes) {
    std::string data;
    for (char c : bytes) {
        auto b = static_cast<uint8_t>(c);
        if (state == 1) {
            state = (b >= 251 && b <= 254) ? 2 : 0;
            if (b == 255)
                data += c;
        } else if (state == 2) {
            state = 0;
        } else if (b == 255) {
            state = 1;
        } else {
            data += c;
        }
    }
    return data;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    int64_t end = NowMs() + timeoutMs;
    while (!done()) {
        if (NowMs() >= end)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

uint16_t FreePort() {
    // The system may hand out a port it has just given, and a test that asks for several
    // would then put two connectors on one port: each port is given once in a while.
    static std::mutex lock;
    static std::deque<uint16_t> given;
    std::lock_guard<std::mutex> hold(lock);
    for (int attempt = 0; attempt < 50; ++attempt) {
        platform::SysError error;
        platform::TcpSocket probe = platform::TcpSocket::CreateStream(&error);
        uint16_t port = 0;
        if (probe.Bind(At("", 0)).Failed() || (port = LocalPortOf(probe)) == 0)
            break;
        if (std::find(given.begin(), given.end(), port) != given.end())
            continue;
        given.push_back(port);
        if (given.size() > 256)
            given.pop_front();
        return port;
    }
    ADD_FAILURE() << "no free port";
    return 0;
}

platform::TcpSocket HoldPortExclusively(uint16_t* port) {
    platform::SysError error;
    platform::TcpSocket s = platform::TcpSocket::CreateStream(&error);
#ifdef _WIN32
    BOOL on = TRUE;
    setsockopt(static_cast<SOCKET>(s.Native()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
#endif
    *port = 0;
    if (s.Bind(At("", 0)).Failed() || s.Listen(1).Failed() || (*port = LocalPortOf(s)) == 0) {
        s.Close();
    }
    return s;
}

bool TestClient::Connect(uint16_t port, const std::string& from, int receiveBuffer,
                         const std::string& to) {
    platform::SysError error;
    connection = platform::TcpSocket::CreateStream(&error, At(to, port).family);
    closed = false;
    if (!connection.IsValid())
        return false;
    if (receiveBuffer > 0) {
        setsockopt(static_cast<decltype(socket(0, 0, 0))>(connection.Native()), SOL_SOCKET, SO_RCVBUF,
                   reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    if (!from.empty() && connection.Bind(At(from, 0)).Failed())
        return false;
    return !test::Connect(connection, to, port).Failed();
}

void TestClient::Reset() {
    Abort(connection);
}

bool TestClient::Send(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        platform::IoResult r = connection.Send(data.data() + done, data.size() - done);
        if (r.count <= 0)
            return false;
        done += static_cast<size_t>(r.count);
    }
    return true;
}

std::string TestClient::ReceiveSome(int ms, size_t most) {
    if (closed || WaitReadable(connection, ms * 1000L) != 1)
        return "";
    char buffer[65536];
    platform::IoResult r = connection.Receive(buffer, std::min(sizeof buffer, most));
    if (r.count <= 0) {
        closed = true;
        return "";
    }
    return std::string(buffer, static_cast<size_t>(r.count));
}

std::string TestClient::ReadUntil(const std::string& needle, int timeoutMs) {
    std::string got;
    int64_t end = NowMs() + timeoutMs;
    while (got.find(needle) == std::string::npos && !closed && NowMs() < end) {
        got += ReceiveSome(10);
    }
    return got;
}

std::string TestClient::ReadCount(size_t count, int timeoutMs) {
    std::string got;
    int64_t end = NowMs() + timeoutMs;
    while (got.size() < count && !closed && NowMs() < end)
        got += ReceiveSome(10, count - got.size());  // what comes after is left for later
    return got;
}

std::string TestClient::ReadFor(int ms) {
    std::string got;
    int64_t end = NowMs() + ms;
    while (!closed && NowMs() < end)
        got += ReceiveSome(10);
    return got;
}

bool TestClient::WaitClosed(int timeoutMs) {
    int64_t end = NowMs() + timeoutMs;
    while (!closed && NowMs() < end)
        ReceiveSome(10);
    return closed;
}

}  // namespace tolvi::test
