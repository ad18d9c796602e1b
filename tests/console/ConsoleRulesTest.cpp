// The terminal console's rules that need no terminal: which endpoint a name or port reaches,
// and what the keys after Ctrl+] do.
#include <gtest/gtest.h>

#include "console/ConsoleTarget.h"
#include "console/EscapeKeys.h"
#include "support/Settings.h"

namespace tolvi::test {
namespace {

using console::ConsoleTarget;
using console::FindConsole;
using console::KeyEvent;

std::string Reached(const std::string& what, const console::StoredConnectors& stored,
                    bool* telnet = nullptr) {
    ConsoleTarget target;
    std::string problem = FindConsole(what, stored, &target);
    if (!problem.empty())
        return problem;
    if (telnet)
        *telnet = target.telnet;
    return platform::AddressText(target.endpoint) + " " + std::to_string(target.endpoint.port);
}

TEST(ConsoleTarget, TheUsersFirstThenTheMachinesWhereEachListens) {
    console::StoredConnectors stored;
    stored.hasStore = true;
    stored.user.push_back(SettingsFor("\\\\.\\pipe\\com1", "2323"));
    stored.user.back().listenAddress = "::";
    stored.user.back().watchPort = 2324;
    stored.user.push_back(SettingsFor("\\\\.\\pipe\\Raw", "2325"));
    stored.user.back().listenAddress = "0.0.0.0";
    stored.user.back().telnet = false;
    stored.machine.push_back(SettingsFor("\\\\.\\pipe\\com1", "2400"));
    stored.machine.push_back(SettingsFor("\\\\.\\pipe\\svc", "2401"));
    stored.machine.back().listenAddress = "192.168.1.5";

    EXPECT_EQ(Reached("2323", stored), "::1 2323");
    EXPECT_EQ(Reached("2324", stored), "::1 2324");  // the watch port, where it listens
    EXPECT_EQ(Reached("COM1", stored), "::1 2323");  // the user's, by the last part
    bool telnet = true;
    EXPECT_EQ(Reached("\\\\.\\pipe\\raw", stored, &telnet), "127.0.0.1 2325");
    EXPECT_FALSE(telnet);
    EXPECT_EQ(Reached("2400", stored), "127.0.0.1 2400");
    EXPECT_EQ(Reached("svc", stored), "192.168.1.5 2401");
    EXPECT_EQ(Reached("[fe80::1%3]:23", stored), "fe80::1%3 23");
    EXPECT_EQ(Reached("localhost:23", stored), "127.0.0.1 23");

    std::string missing = Reached("2399", stored);
    EXPECT_NE(missing.find("the port 2399"), std::string::npos) << missing;
    EXPECT_NE(missing.find("2325  \\\\.\\pipe\\Raw  raw"), std::string::npos) << missing;
    EXPECT_NE(missing.find("2401  \\\\.\\pipe\\svc"), std::string::npos) << missing;

    // Without a store a port is this machine's, and a name names nothing.
    EXPECT_EQ(Reached("2323", console::StoredConnectors{}), "127.0.0.1 2323");
    EXPECT_NE(Reached("com1", console::StoredConnectors{}).find("neither"), std::string::npos);
    EXPECT_NE(Reached("::1:23", console::StoredConnectors{}).find("neither"), std::string::npos);
}

TEST(EscapeKeys, CommandsAfterCtrlBracketEvenAcrossReads) {
    console::EscapeKeys keys;
    std::vector<KeyEvent> events = keys.Feed("ab\x1d");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].typed, "ab");
    events = keys.Feed("\x1d" "c\x1dw\x1dz\x1dq");
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].typed, "\x1d" "c");  // Ctrl+] twice sends one
    EXPECT_EQ(events[1].kind, KeyEvent::Kind::WhoIsOn);
    EXPECT_EQ(events[2].kind, KeyEvent::Kind::Help);
    EXPECT_EQ(events[3].kind, KeyEvent::Kind::Leave);
}

}  // namespace
}  // namespace tolvi::test
