// Echo consoles, notices and the running server for the SSH tests.
#include "SshTestSupport.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "ssh/Libssh.h"

namespace tolvi::test {

EchoConsoles::~EchoConsoles() {
    for (std::thread& echo : echoes)
        echo.join();
}

std::vector<ssh::ConsoleEntry> EchoConsoles::List() {
    return {{"2323", "\\\\.\\pipe\\com1", "Build VM", "Ready"},
            {"2424", "\\\\.\\pipe\\com2", "Test VM", "Connected"},
            {"2525", "\\\\.\\pipe\\log", "Log", "Ready"},
            {"2626", "\\\\.\\pipe\\slow", "Slow", "Ready"}};
}

bool EchoConsoles::Join(const ssh::JoinRequest& request, platform::TcpSocket* end,
                        std::string* why) {
    platform::TcpSocket console;
    if (platform::ConnectedPair(end, &console).Failed()) {
        *why = "no socket pair";
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    joins.push_back(request);
    echoes.emplace_back([this, console = std::move(console), port = request.port,
                         stream = streamBytes]() mutable {
        std::string banner = "console " + port + "\r\n";
        console.Send(banner.data(), banner.size());
        char buffer[4096];
        if (port == "2525") {
            std::string output(64 << 10, 'o');
            for (size_t sent = 0; sent < stream;) {
                long n = console.Send(output.data(), std::min(output.size(), stream - sent)).count;
                if (n <= 0)
                    return;
                sent += static_cast<size_t>(n);
            }
        }
        for (long n; (n = console.Receive(buffer, sizeof buffer).count) > 0;) {
            {
                std::lock_guard<std::mutex> guard(lock);
                typed.append(buffer, static_cast<size_t>(n));
            }
            if (port == "2626")
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            else if (port != "2525")
                console.Send(buffer, static_cast<size_t>(n));
        }
    });
    return true;
}

std::vector<ssh::JoinRequest> EchoConsoles::Joins() {
    std::lock_guard<std::mutex> guard(lock);
    return joins;
}

std::string EchoConsoles::Typed() {
    std::lock_guard<std::mutex> guard(lock);
    return typed;
}

SshTest::SshTest() {
    ssh::StartLibssh();  // before the tests' own use of libssh, as a program would
    static int count = 0;
    auto path = std::filesystem::temp_directory_path() /
                ("tolvi-ssh-test-" + std::to_string(std::random_device{}()) + "-" +
                 std::to_string(++count));
    std::filesystem::create_directories(path);
    folder = path.generic_string();
}

SshTest::~SshTest() {
    server.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void Notices::OnSshNotice(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(line);
}

void Notices::OnLoginRefused(const std::string& address, const std::string& user,
                             const std::string& fingerprint) {
    std::lock_guard<std::mutex> guard(lock);
    refused.push_back(address + "|" + user + "|" + fingerprint);
}

std::vector<std::string> Notices::Refused() {
    std::lock_guard<std::mutex> guard(lock);
    return refused;
}

std::string Notices::Lines() {
    std::lock_guard<std::mutex> guard(lock);
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

size_t Notices::Count(const std::string& part) {
    std::lock_guard<std::mutex> guard(lock);
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

bool Notices::Has(const std::string& part) {
    std::lock_guard<std::mutex> guard(lock);
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    return false;
}

void SshTest::WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string SshTest::ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void SshTest::StartServer(const std::string& keys) {
    WriteFile(Path("authorized_keys"), keys);
    std::string why;
    ASSERT_TRUE(hostKey.LoadOrCreate(Path("host_key"), ssh::FileAccess::CurrentUser, &why)) << why;
    ssh::SshSettings settings;
    settings.listenAddress = "127.0.0.1";
    settings.keysFile = Path("authorized_keys");
    ASSERT_TRUE(server.Start(settings, hostKey, &why)) << why;
    ASSERT_NE(server.Port(), 0);
}

}  // namespace tolvi::test
