// The SSH server's rules without a connection: the keys file, the console a name picks, and
// the pacing of failed logins.
#include <gtest/gtest.h>

#include "ssh/AuthorizedKeys.h"
#include "ssh/Base64.h"
#include "ssh/ClientSource.h"
#include "ssh/ConnectionPlaces.h"
#include "ssh/ConsoleChoice.h"
#include "ssh/LoginPacer.h"

namespace tolvi::ssh {
namespace {

// An Ed25519 public key as ssh-keygen writes it (the key data is only compared).
std::string Ed25519(const std::string& seed) {
    std::string blob = std::string("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19) + seed;
    blob.resize(19 + 32, 'k');
    return "ssh-ed25519 " + Base64Encode(blob);
}

TEST(AuthorizedKeysTest, ReadsOptionsAndCommentsAndLeavesDoubtfulLinesUnused) {
    std::string text = "\xEF\xBB\xBF# tolvi's keys\r\n\n";
    for (const std::string& line :
         {Ed25519("a") + " alice@laptop\r",
          "consoles=\"2323, com1\",watch,no-pty " + Ed25519("b") + " bob",
          "restrict,command=\"/bin/sh\" " + Ed25519("c") + " forced",
          "from=\"10.0.0.*\" " + Ed25519("d"), std::string("ssh-dss AAAAB3NzaC1kc3MAAACBAP"),
          std::string("ssh-ed25519 not-base64 damaged"), "consoles=\"2323 " + Ed25519("e"),
          "consoles=\"\" " + Ed25519("f") + " nothing",
          "no\x1b[2J" + std::string(1000000, 'x') + " " + Ed25519("g")})
        text += line + "\n";
    AuthorizedKeys keys = AuthorizedKeys::Parse(text);
    ASSERT_EQ(keys.keys.size(), 3u);
    EXPECT_EQ(keys.keys[0].comment, "alice@laptop");
    EXPECT_FALSE(keys.keys[0].limited);
    EXPECT_FALSE(keys.keys[0].watch);
    EXPECT_EQ(keys.keys[1].line, 4);
    EXPECT_EQ(keys.keys[1].consoles, (std::vector<std::string>{"2323", "com1"}));
    EXPECT_TRUE(keys.keys[1].watch);
    EXPECT_TRUE(keys.keys[2].limited);  // consoles="": a key for no console at all
    EXPECT_TRUE(keys.keys[2].consoles.empty());
    std::string blob;
    ASSERT_TRUE(Base64Decode(Ed25519("b").substr(12), &blob));
    EXPECT_EQ(keys.Find(blob), &keys.keys[1]);
    ASSERT_TRUE(Base64Decode(Ed25519("c").substr(12), &blob));
    EXPECT_EQ(keys.Find(blob), nullptr);
    // A line that admits nobody is named by its number and its start, as text.
    ASSERT_EQ(keys.problems.size(), 6u);
    EXPECT_EQ(keys.problems[0],
              "line 5 (restrict,command=\"/bin/sh\" ssh-ed25519 "
              "AAAAC3NzaC1lZDI1NTE5AAAAIGNra2tra2tra2tra...): option command is not understood "
              "here; it admits nobody");
    EXPECT_EQ(keys.problems[1].rfind("line 6 (from=", 0), 0u);
    EXPECT_EQ(keys.problems[2],
              "line 7 (ssh-dss AAAAB3NzaC1kc3MAAACBAP): key type ssh-dss is not accepted; it "
              "admits nobody");
    EXPECT_EQ(keys.problems[3],
              "line 8 (ssh-ed25519 not-base64 damaged): the key's data is damaged; it admits "
              "nobody");
    EXPECT_EQ(keys.problems[4].rfind("line 9 (consoles=", 0), 0u);
    EXPECT_NE(keys.problems[4].find("...): an option's quote is never closed"), std::string::npos);
    EXPECT_EQ(keys.problems[5], "line 11 (no\\x1b[2J" + std::string(74, 'x') +
                                    "...): option no\\x1b[2j" + std::string(34, 'x') +
                                    "... is not understood here; it admits nobody");

    // Many such lines are counted beyond the first ten; a file cut at its limit loses its
    // last, unfinished line and says so.
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += "bad line\n";
    keys =
        AuthorizedKeys::Parse(many + Ed25519("h") + " last\n" + Ed25519("i").substr(0, 30), true);
    EXPECT_EQ(keys.keys.size(), 1u);
    ASSERT_EQ(keys.problems.size(), 12u);
    EXPECT_EQ(keys.problems[10], "15 more lines admit nobody");
    EXPECT_EQ(keys.problems[11], "the file is larger than 16 MiB: the lines beyond are not read");
}

TEST(ConsoleChoiceTest, TheNamePicksAConsoleTheKeyMayOpen) {
    std::vector<ConsoleEntry> entries = {{"2323", "\\\\.\\pipe\\com1", "Build VM", "Ready"},
                                         {"2424", "\\\\.\\pipe\\COM2", "", "Connected"}};
    AuthorizedKey any, limited;
    limited.limited = true;
    limited.consoles = {"com2"};
    EXPECT_EQ(PickConsole("2323", ConsolesFor(any, entries))->port, "2323");
    EXPECT_EQ(PickConsole("com2", ConsolesFor(any, entries))->port, "2424");
    EXPECT_EQ(PickConsole("\\\\.\\pipe\\Com1", ConsolesFor(any, entries))->port, "2323");
    EXPECT_EQ(PickConsole("23", ConsolesFor(any, entries)), nullptr);
    EXPECT_EQ(PickConsole("2323", ConsolesFor(limited, entries)), nullptr);
    EXPECT_EQ(ConsoleList("2323", ConsolesFor(limited, entries)),
              "No console named 2323. Consoles you may open:\r\n"
              "  Port  Pipe           Description  Status\r\n"
              "  2424  \\\\.\\pipe\\COM2               Connected\r\n"
              "Type a port and Enter to open it: ");
    EXPECT_EQ(NoSuchConsole("a\x1b[2Jb\x9b\xff"),
              "No console named a\\x1b[2Jb\xEF\xBF\xBD\xEF\xBF\xBD.\r\n");

    // A short name opens a local pipe of that name alone, and one that two consoles share
    // opens neither: both are listed. consoles="" opens nothing.
    std::vector<ConsoleEntry> elsewhere = {{"2525", "\\\\hostB\\pipe\\com1", "", "Ready"},
                                           {"2626", "\\\\.\\pipe\\vmB\\com1", "", "Ready"},
                                           {"2727", "\\\\.\\pipe\\com3", "", "Ready"},
                                           {"2828", "\\\\.\\pipe\\COM3", "", "Ready"}};
    AuthorizedKey com1;
    com1.limited = true;
    com1.consoles = {"com1"};
    EXPECT_TRUE(ConsolesFor(com1, elsewhere).empty());
    EXPECT_EQ(PickConsole("com1", elsewhere), nullptr);
    EXPECT_EQ(PickConsole("\\\\hostB\\pipe\\COM1", elsewhere)->port, "2525");
    EXPECT_EQ(PickConsole("com3", elsewhere), nullptr);
    std::string both = ConsoleList("com3", ConsolesFor(any, elsewhere));
    EXPECT_NE(both.find("2727"), std::string::npos);
    EXPECT_NE(both.find("2828"), std::string::npos);
    AuthorizedKey none;
    none.limited = true;
    EXPECT_TRUE(ConsolesFor(none, entries).empty());

    TypedLine echoed(true);
    std::string shown;
    EXPECT_EQ(echoed.Feed("24x\x7f", 4, &shown), TypedLine::State::Typing);
    EXPECT_EQ(echoed.Feed("24\r", 3, &shown), TypedLine::State::Done);
    EXPECT_EQ(echoed.Text(), "2424");
    EXPECT_EQ(shown, "24x\b \b24\r\n");
    TypedLine quiet(false);
    shown.clear();
    EXPECT_EQ(quiet.Feed("23\x03", 3, &shown), TypedLine::State::GivenUp);
    EXPECT_EQ(shown, "");
}

TEST(LoginPacerTest, FiveFailuresInAMinutePaceThatAddressAlone) {
    LoginPacer pacer;
    auto t = LoginPacer::Clock::now();
    EXPECT_EQ(pacer.Failure("10.0.0.5", t), LoginPacer::Report::FirstFailure);
    for (int i = 2; i < LoginPacer::kFreeFailures; ++i)
        EXPECT_EQ(pacer.Failure("10.0.0.5", t), LoginPacer::Report::Quiet);
    EXPECT_EQ(pacer.Delay("10.0.0.5", t).count(), 0);
    EXPECT_EQ(pacer.Failure("10.0.0.5", t), LoginPacer::Report::NowPaced);
    EXPECT_EQ(pacer.Delay("10.0.0.5", t).count(), 1000);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pacer.Failure("10.0.0.5", t), LoginPacer::Report::Quiet);
    EXPECT_EQ(pacer.Delay("10.0.0.5", t), LoginPacer::kMaxDelay);
    EXPECT_EQ(pacer.Delay("10.0.0.6", t).count(), 0);
    EXPECT_EQ(pacer.Delay("10.0.0.5", t + LoginPacer::kWindow - std::chrono::seconds(1)),
              LoginPacer::kMaxDelay);
    EXPECT_EQ(pacer.Delay("10.0.0.5", t + LoginPacer::kWindow).count(), 0);
    EXPECT_EQ(pacer.Failure("10.0.0.5", t + LoginPacer::kWindow), LoginPacer::Report::FirstFailure);
    pacer.Success("10.0.0.5");
    EXPECT_EQ(pacer.Failure("10.0.0.5", t + LoginPacer::kWindow), LoginPacer::Report::FirstFailure);

    // Addresses are paced by their source: an IPv6 host's whole /64.
    EXPECT_EQ(SourceOf("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
    EXPECT_EQ(SourceOf("2001:db8:1:2:bbbb::7"), SourceOf("2001:db8:1:2:aaaa::1"));
    EXPECT_NE(SourceOf("2001:db8:1:3::1"), SourceOf("2001:db8:1:2::1"));
    EXPECT_EQ(SourceOf("::ffff:10.0.0.5"), "10.0.0.5");
}

TEST(ConnectionPlacesTest, StrangersTakeTenPlacesAnAddressAndAFloodLosesAtRandom) {
    using Entry = ConnectionPlaces::Entry;
    ConnectionPlaces places;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(places.Enter("10.0.0.5", 0), Entry::Admitted);
    EXPECT_EQ(places.Enter("10.0.0.5", 99), Entry::SourceFull);
    // Past 30 not logged in, a new one is dropped with a chance of 30 % there, rising to all
    // of them at 100: the die decides.
    for (int i = 10; i < 30; ++i)
        EXPECT_EQ(places.Enter("10.1.0." + std::to_string(i), 0), Entry::Admitted);
    EXPECT_EQ(places.Enter("10.2.0.1", 29), Entry::Dropped);
    EXPECT_EQ(places.Enter("10.2.0.1", 30), Entry::Admitted);
    for (int i = 31; i < 65; ++i)
        ASSERT_EQ(places.Enter("10.3.0." + std::to_string(i), 99), Entry::Admitted);
    EXPECT_EQ(places.Enter("10.2.0.2", 64), Entry::Dropped);
    EXPECT_EQ(places.Enter("10.2.0.2", 65), Entry::Admitted);
    for (int i = 66; i < 100; ++i)
        places.Enter("10.4.0." + std::to_string(i), 99);
    EXPECT_EQ(places.Waiting(), 100u);
    EXPECT_EQ(places.Enter("10.2.0.3", 99), Entry::Dropped);
    // One that logs in leaves the strangers' places.
    EXPECT_TRUE(places.LogIn("10.0.0.5"));
    EXPECT_EQ(places.Waiting(), 99u);
    EXPECT_EQ(places.Sessions(), 1u);
    EXPECT_EQ(places.Enter("10.0.0.5", 99), Entry::Admitted);
    places.Leave("10.0.0.5", true);
    EXPECT_EQ(places.Sessions(), 0u);

    // Told once, a moment after the first, with the counts; then not within the minute.
    auto t = places.ReportDue();
    EXPECT_EQ(places.Report(t - std::chrono::milliseconds(1)), "");
    EXPECT_EQ(places.Report(t),
              "SSH: 4 connections closed at once: 1 beyond 10 not logged in from one address "
              "(most from 10.0.0.5: 1), 3 at random beyond 30 not logged in in all; 100 not "
              "logged in now");
    EXPECT_EQ(places.Enter("10.0.0.5", 0), Entry::SourceFull);
    EXPECT_EQ(places.Report(t + std::chrono::seconds(59)), "");
    EXPECT_NE(places.Report(t + ConnectionPlaces::kReportEvery), "");
}

}  // namespace
}  // namespace tolvi::ssh
