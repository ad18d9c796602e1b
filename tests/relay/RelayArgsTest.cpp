// tolvi-relay's command line: connectors from it, and a clear line for each mistake.
#include <gtest/gtest.h>

#include "relay/RelayArgs.h"

namespace tolvi::relay {
namespace {

std::string Parse(std::vector<std::string> args, RelayArgs* out) {
    return ParseRelayArgs(args, out);
}

TEST(RelayArgs, ConnectorsWithTheirOwnOptions) {
    RelayArgs a;
    ASSERT_EQ(
        Parse({"\\\\.\\pipe\\com1", "2323", "--description", "VM one", "--allow-non-local",
               "--list-only", "--clients", "10.0.0.5;10.0.0.7", "\\\\host\\pipe\\com2", "2324"},
              &a),
        "");
    ASSERT_EQ(a.connectors.size(), 2u);
    EXPECT_EQ(a.connectors[0].pipeName, "\\\\.\\pipe\\com1");
    EXPECT_EQ(a.connectors[0].portText, "2323");
    EXPECT_EQ(a.connectors[0].description, "VM one");
    EXPECT_TRUE(a.connectors[0].allowNonLocal);
    EXPECT_TRUE(a.connectors[0].listOnly);
    EXPECT_EQ(a.connectors[0].clientList, "10.0.0.5;10.0.0.7");
    EXPECT_EQ(a.connectors[1].pipeName, "\\\\host\\pipe\\com2");
    EXPECT_FALSE(a.connectors[1].allowNonLocal);
    EXPECT_EQ(a.connectors[1].description, "");
    EXPECT_EQ(a.connectors[1].maxClients, 1);
    EXPECT_EQ(a.connectors[1].logFile, "");
    EXPECT_EQ(a.connectors[1].replayKiB, 0);
}

TEST(RelayArgs, WebConsolePortForEveryConnectorAnywhere) {
    RelayArgs a;
    EXPECT_EQ(a.webPort, -1);
    ASSERT_EQ(Parse({"--web", "0", "\\\\.\\pipe\\vm", "2323"}, &a), "");
    EXPECT_EQ(a.webPort, 0);
    ASSERT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--web", "8023", "--raw"}, &a), "");
    EXPECT_EQ(a.webPort, 8023);
    EXPECT_FALSE(a.connectors[0].telnet);  // the options after it are still the connector's
    for (const char* bad : {"65536", "-1", "x"})
        EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--web", bad}, &a),
                  "option --web needs a port from 0 to 65535");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--web"}, &a),
              "option --web needs a port from 0 to 65535");
}

TEST(RelayArgs, ConsoleOptionsWithTheDialogsRulesAndMessages) {
    RelayArgs a;
    ASSERT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--max-clients", "8", "--log", "/var/log/vm.log",
                     "--replay", "64"},
                    &a),
              "");
    ASSERT_EQ(a.connectors.size(), 1u);
    EXPECT_EQ(a.connectors[0].maxClients, 8);
    EXPECT_EQ(a.connectors[0].logFile, "/var/log/vm.log");
    EXPECT_EQ(a.connectors[0].replayKiB, 64);
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--max-clients", "17"}, &a),
              "--max-clients '17': Clients at once must be a number from 1 to 16");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--replay", "2048"}, &a),
              "--replay '2048': Replay must be a number from 0 to 1024");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--log"}, &a), "option --log needs a value");

    ASSERT_EQ(
        Parse({"\\\\.\\pipe\\vm", "2323", "--listen", "::1", "--watch-port", "2324", "--raw"}, &a),
        "");
    EXPECT_EQ(a.connectors[0].listenAddress, "::1");
    EXPECT_EQ(a.connectors[0].watchPort, 2324);
    EXPECT_FALSE(a.connectors[0].telnet);
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--listen", "localhost"}, &a),
              "--listen 'localhost': Incorrect listen address provided");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--listen", "1:2:3:4::5:6:7:8"}, &a),
              "--listen '1:2:3:4::5:6:7:8': Incorrect listen address provided");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--watch-port", "2323"}, &a),
              "port 2323 is given twice");
    // The web console cannot share a port with a console or its watchers.
    for (const char* taken : {"2323", "2324"}) {
        EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--watch-port", "2324", "--web", taken}, &a),
                  std::string("the web console's port ") + taken + " is a connector's port too");
    }
}

TEST(RelayArgs, AlertPatternsAddUpAndOneThatCannotBeUsedSaysWhereAndWhy) {
    RelayArgs a;
    ASSERT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "(?i)panic", "--alert", "login: $",
                     "--log-times"},
                    &a),
              "");
    EXPECT_EQ(a.connectors[0].alerts, "(?i)panic\nlogin: $");
    EXPECT_TRUE(a.connectors[0].logTimes);
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "ok", "--alert", "Oops (at"}, &a),
              "--alert 'Oops (at': Alert pattern 2 'Oops (at' cannot be used: at 8, a ( without "
              "its )");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "(?i)z-a[z-a]"}, &a),
              "--alert '(?i)z-a[z-a]': Alert pattern 1 '(?i)z-a[z-a]' cannot be used: at 11, a "
              "range in [ ] that ends before it starts");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "(a)\\1"}, &a),
              "--alert '(a)\\1': Alert pattern 1 '(a)\\1' cannot be used: at 5, a back reference, "
              "which alerts do not take");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "(?<!no )panic"}, &a),
              "--alert '(?<!no )panic': Alert pattern 1 '(?<!no )panic' cannot be used: at 3, a "
              "look-behind, which alerts do not take");
    EXPECT_EQ(Parse({"\\\\.\\pipe\\vm", "2323", "--alert", "\xc3\xa9" "chec)"}, &a),
              "--alert '\xc3\xa9" "chec)': Alert pattern 1 '\xc3\xa9" "chec)' cannot be used: at 6, a ) "
              "without its (");
}

TEST(RelayArgs, EachMistakeNamesItsArgument) {
    struct Bad {
        std::vector<std::string> args;
        const char* message;
    };
    const Bad cases[] = {
        {{}, "no connector given: PIPE PORT is needed"},
        {{"", "23"}, "the pipe name is empty"},
        {{"com1", "23"},
         "malformed pipe name 'com1': the form is \\\\<ServerName>\\pipe\\<PipeName>"},
        {{"\\\\.\\com1", "23"},
         "malformed pipe name '\\\\.\\com1': the form is \\\\<ServerName>\\pipe\\<PipeName>"},
        {{"\\\\.\\pipe\\a", "0"}, "bad port '0' for \\\\.\\pipe\\a: give a number from 1 to 65535"},
        {{"\\\\.\\pipe\\a", "-5"},
         "bad port '-5' for \\\\.\\pipe\\a: give a number from 1 to 65535"},
        {{"\\\\.\\pipe\\a", "65536"},
         "bad port '65536' for \\\\.\\pipe\\a: give a number from 1 to 65535"},
        {{"\\\\.\\pipe\\a", "23a"},
         "bad port '23a' for \\\\.\\pipe\\a: give a number from 1 to 65535"},
        {{"\\\\.\\pipe\\a"}, "pipe \\\\.\\pipe\\a has no PORT after it"},
        {{"--allow-non-local", "\\\\.\\pipe\\a", "23"},
         "option --allow-non-local comes before any PIPE PORT"},
        {{"\\\\.\\pipe\\a", "23", "--bogus"}, "unknown option --bogus"},
        {{"\\\\.\\pipe\\a", "23", "--clients"}, "option --clients needs a value"},
        {{"\\\\.\\pipe\\a", "80", "\\\\.\\pipe\\b", "080"}, "port 080 is given twice"},
        {{"\\\\.\\pipe\\a", "80", "\\\\.\\pipe\\b", "80x"},
         "bad port '80x' for \\\\.\\pipe\\b: give a number from 1 to 65535"},
        {{"\\\\.\\pipe\\a", "23", "--log", ""}, "option --log needs a file name"},
        {{"\\\\.\\pipe\\a", "80", "\\\\.\\pipe\\a", "81"},
         "the pipe \\\\.\\pipe\\a is given twice"},
        {{"\\\\.\\pipe\\a", "23", "--alert-command", "notify \"done"},
         "--alert-command 'notify \"done': Alert command 'notify \"done' cannot be used: a quote "
         "is not closed"},
        {{"\\\\vmhost\\pipe\\a", "80", "--pipe-server"},
         "--pipe-server makes the pipe on this machine: \\\\vmhost\\pipe\\a is not of the form "
         "\\\\.\\pipe\\<PipeName>"},
    };
    for (const Bad& bad : cases) {
        RelayArgs a;
        EXPECT_EQ(Parse(bad.args, &a), bad.message);
    }
}

TEST(RelayArgs, HelpAndVersionWinAlone) {
    RelayArgs a;
    EXPECT_EQ(Parse({"--help"}, &a), "");
    EXPECT_TRUE(a.help);
    EXPECT_EQ(Parse({"--version"}, &a), "");
    EXPECT_TRUE(a.version);
}

}  // namespace
}  // namespace tolvi::relay
