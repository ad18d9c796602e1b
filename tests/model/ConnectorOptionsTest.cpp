// The options table is the one description of a connector's settings: whatever it holds goes
// through the store, tolvi-relay's arguments and the dialogs' checks and comes back the same.
#include <gtest/gtest.h>

#include "config/ConfigurationStore.h"
#include "model/ConnectorHost.h"
#include "model/ConnectorOptions.h"
#include "model/ListenAdvice.h"
#include "relay/RelayArgs.h"
#include "support/MemoryStore.h"

namespace tolvi::test {
namespace {

// Every option away from its default.
ConnectorSettings Unusual() {
    ConnectorSettings s;
    for (const ConnectorOption& o : ConnectorOptions()) {
        switch (o.kind) {
            case OptionKind::Text:
                s.*o.text =
                    std::string(o.valueName) == "Listen" ? "::1" : "x" + std::string(o.valueName);
                break;
            case OptionKind::Flag:
                s.*o.yes = !(s.*o.yes);
                break;
            case OptionKind::Number:
                s.*o.number = o.high - 1;
                break;
        }
    }
    s.pipeName = "\\\\.\\pipe\\unusual";
    s.portText = "2323";
    return s;
}

TEST(ConnectorOptions, EveryOptionRoundTripsThroughStoreArgumentsAndChecks) {
    const ConnectorSettings wanted = Unusual();
    ASSERT_FALSE(SameSettings(wanted, ConnectorSettings{}));

    MemoryStore store;
    ASSERT_EQ(SaveConfiguration(store, {wanted}, AppOptions{}), SaveResult::Saved);
    StoredConfiguration loaded = LoadConfiguration(store, AppOptions{});
    ASSERT_EQ(loaded.connectors.size(), 1u);
    EXPECT_TRUE(SameSettings(loaded.connectors[0], wanted));

    std::vector<std::string> args = {wanted.pipeName, wanted.portText};
    for (const ConnectorOption& o : ConnectorOptions()) {
        if (!o.flag)
            continue;
        if (o.kind == OptionKind::Flag) {
            if (wanted.*o.yes !=
                o.flagClears)  // the flag stands for the value away from its default
                args.push_back(o.flag);
        } else {
            args.push_back(o.flag);
            args.push_back(OptionText(o, wanted));
        }
    }
    relay::RelayArgs parsed;
    ASSERT_EQ(relay::ParseRelayArgs(args, &parsed), "");
    ASSERT_EQ(parsed.connectors.size(), 1u);
    EXPECT_TRUE(SameSettings(parsed.connectors[0], wanted));

    ConnectorSettings checked;
    for (const ConnectorOption& o : ConnectorOptions()) {
        std::string refused;
        EXPECT_TRUE(SetOptionFromText(o, OptionText(o, wanted), &checked, &refused)) << refused;
        if (o.refusal || o.kind == OptionKind::Number) {  // what it does not take is refused
            EXPECT_FALSE(SetOptionFromText(o, o.kind == OptionKind::Number ? "99999" : "not::ok",
                                           &checked, &refused))
                << o.valueName;
            EXPECT_EQ(refused, RefusalOf(o));
        }
    }
    EXPECT_TRUE(SameSettings(checked, wanted));
}

TEST(ConnectorOptions, ChangedOnesAreListedAsTheirFlags) {
    EXPECT_EQ(ChangedOptionsAsFlags(ConnectorSettings{}), "");
    ConnectorSettings s;
    s.description = "not an option of the list";
    s.maxClients = 4;
    s.logFile = "C:\\vm logs\\a.log";
    s.telnet = false;
    EXPECT_EQ(ChangedOptionsAsFlags(s), "--max-clients 4 --log \"C:\\vm logs\\a.log\" --raw");
}

TEST(ListenAdvice, TheCommandThatReachesItAndWhoWillNotBeAdmitted) {
    ConnectorSettings s;
    s.portText = "2323";
    EXPECT_EQ(ReachCommand(s), "telnet 127.0.0.1 2323");
    EXPECT_EQ(ListenWarning(s), "");
    s.listenAddress = "::";  // IPv6 alone: 127.0.0.1 would be refused
    EXPECT_EQ(ReachCommand(s), "telnet ::1 2323");
    EXPECT_EQ(ListenWarning(s), "only local clients will be admitted there");
    s.listenAddress = "0.0.0.0";
    EXPECT_EQ(ReachCommand(s), "telnet 127.0.0.1 2323");
    EXPECT_EQ(ListenWarning(s), "only local clients will be admitted there");
    s.listenAddress = "192.168.1.5";  // its own clients come from there, and are refused
    EXPECT_EQ(ReachCommand(s), "telnet 192.168.1.5 2323");
    EXPECT_NE(ListenWarning(s).find("none arrives at 192.168.1.5"), std::string::npos);
    s.allowNonLocal = true;
    EXPECT_EQ(ListenWarning(s), "");
    s.listenAddress = "::1";
    s.allowNonLocal = false;
    s.telnet = false;
    EXPECT_EQ(ReachCommand(s), "raw TCP ::1 2323");
    EXPECT_EQ(ListenWarning(s), "");
}

}  // namespace
}  // namespace tolvi::test
