// The SSH server's rules without a connection: the keys file, the console a name picks, and
// the pacing of failed logins.
#include <gtest/gtest.h>

#include "ssh/AuthorizedKeys.h"
#include "ssh/Base64.h"
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
          std::string("ssh-ed25519 not-base64 damaged"), "consoles=\"2323 " + Ed25519("e")})
        text += line + "\n";
    AuthorizedKeys keys = AuthorizedKeys::Parse(text);
    ASSERT_EQ(keys.keys.size(), 2u);
    EXPECT_EQ(keys.keys[0].comment, "alice@laptop");
    EXPECT_FALSE(keys.keys[0].limited);
    EXPECT_FALSE(keys.keys[0].watch);
    EXPECT_EQ(keys.keys[1].line, 4);
    EXPECT_EQ(keys.keys[1].consoles, (std::vector<std::string>{"2323", "com1"}));
    EXPECT_TRUE(keys.keys[1].watch);
    std::string blob;
    ASSERT_TRUE(Base64Decode(Ed25519("b").substr(12), &blob));
    EXPECT_EQ(keys.Find(blob), &keys.keys[1]);
    ASSERT_TRUE(Base64Decode(Ed25519("c").substr(12), &blob));
    EXPECT_EQ(keys.Find(blob), nullptr);
    ASSERT_EQ(keys.problems.size(), 5u);
    EXPECT_EQ(keys.problems[0], "line 5: option command is not understood here; it admits nobody");
    EXPECT_EQ(keys.problems[1].rfind("line 6: option from", 0), 0u);
    EXPECT_EQ(keys.problems[2], "line 7: key type ssh-dss is not accepted; it admits nobody");
    EXPECT_EQ(keys.problems[3], "line 8: the key's data is damaged; it admits nobody");
    EXPECT_EQ(keys.problems[4].rfind("line 9: an option's quote", 0), 0u);
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
    EXPECT_EQ(NoSuchConsole("a\x1b[2Jb"), "No console named a?[2Jb.\r\n");

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
    EXPECT_EQ(pacer.Delay("10.0.0.5", t + LoginPacer::kWindow).count(), 0);
    EXPECT_EQ(pacer.Failure("10.0.0.5", t + LoginPacer::kWindow), LoginPacer::Report::FirstFailure);
    pacer.Success("10.0.0.5");
    EXPECT_EQ(pacer.Failure("10.0.0.5", t + LoginPacer::kWindow), LoginPacer::Report::FirstFailure);
}

}  // namespace
}  // namespace tolvi::ssh
