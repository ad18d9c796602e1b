// Port texts read as numbers, addresses read and written as users do, status words, message
// formatting.
#include <gtest/gtest.h>

#include <climits>

#include "engine/ConnectorStatus.h"
#include "engine/Format.h"
#include "engine/PortText.h"
#include "engine/SafeText.h"
#include "platform/Endpoint.h"
#include "platform/ErrorText.h"
#include "platform/PipeServerTrust.h"

namespace tolvi {
namespace {

// Whatever a console or a stranger sends, what leaves is valid UTF-8, one U+FFFD a bad byte,
// and a name shows its controls instead of acting on a terminal.
TEST(SafeText, AnyBytesBecomeValidTextAndNamesShowTheirControls) {
    const std::string bad = "\xEF\xBF\xBD";
    EXPECT_EQ(ValidUtf8("ERROR \xc0\xaf"), "ERROR " + bad + bad);    // overlong
    EXPECT_EQ(ValidUtf8("\xed\xa0\x80"), bad + bad + bad);            // a surrogate
    EXPECT_EQ(ValidUtf8("\xf5\x80x"), bad + bad + "x");                // beyond U+10FFFF
    EXPECT_EQ(ValidUtf8("a\xe2\x82"), "a" + bad + bad);                // cut short
    EXPECT_EQ(ValidUtf8("\xe2\x82\xac \xf0\x9f\x98\x80"), "\xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(SafeName("a\x1b[2Jb\rc\x9b\xc2\x9b\xff\xfb\x7f"),
              "a\\x1b[2Jb\\x0dc" + bad + "\\x9b" + bad + bad + "\\x7f");
    EXPECT_EQ(SafeName("\x1b]0;root@console\x07"), "\\x1b]0;root@console\\x07");
    EXPECT_EQ(SafeName(SafeName("x\x01")), SafeName("x\x01"));
    std::string longName(500, 'n');
    EXPECT_EQ(SafeName(longName), std::string(kLongestName, 'n') + "...");
    EXPECT_EQ(DoubledIac("a\xff\xfb"), "a\xff\xff\xfb");
}

// A console's pipe is trusted from the system, an administrator, a virtual machine's account
// or this program's own user; from nobody else.
TEST(PipeServerTrust, OnlyTheSystemAdministratorsVirtualMachinesOrOurselves) {
    using platform::IsTrustedServer;
    const std::string own = "S-1-5-21-1-2-3-1001", eve = "S-1-5-21-1-2-3-1002";
    const std::vector<std::string> users = {"S-1-1-0", "S-1-5-32-545", "S-1-5-11"};
    EXPECT_TRUE(IsTrustedServer("S-1-5-18", {}, own));
    EXPECT_TRUE(IsTrustedServer(own, users, own));
    EXPECT_TRUE(IsTrustedServer("S-1-5-83-1-1234-5678-9012-3456", users, own));
    EXPECT_TRUE(IsTrustedServer(eve, {"S-1-5-32-544", "S-1-1-0"}, own));
    EXPECT_FALSE(IsTrustedServer(eve, users, own));
    EXPECT_FALSE(IsTrustedServer("S-1-5-19", users, own));
    EXPECT_FALSE(IsTrustedServer("", users, ""));
    EXPECT_TRUE(platform::IsTrustedServerUid(0, 1000));
    EXPECT_TRUE(platform::IsTrustedServerUid(1000, 1000));
    EXPECT_FALSE(platform::IsTrustedServerUid(65534, 1000));
    EXPECT_EQ(platform::UntrustedServerText("\\\\.\\pipe\\com1", {false, "HOST\\eve"}),
              "\\\\.\\pipe\\com1 is served by HOST\\eve, who is not trusted");
}

TEST(PortText, ReadsLikeAtoi) {
    EXPECT_EQ(TextToInt("23"), 23);
    EXPECT_EQ(TextToInt("  \t+23x"), 23);
    EXPECT_EQ(TextToInt("-7"), -7);
    EXPECT_EQ(TextToInt("0080"), 80);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("- 5"), 0);
    EXPECT_EQ(TextToInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(TextToInt("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(TextToInt("2147483647"), INT_MAX);
    EXPECT_EQ(TextToInt("-2147483648"), INT_MIN);
}

// A listener binds only a number the dialogs would accept; any other text is refused
// instead of becoming a port nobody chose.
TEST(PortText, ListenPortIsAValidNumberOrNothing) {
    struct Case {
        const char* text;
        bool valid;
        uint16_t port;
    };
    const Case cases[] = {
        {"23", true, 23}, {" 2323abc", true, 2323}, {"0080", true, 80},   {"65535", true, 65535},
        {"1", true, 1},   {"abc", false, 0},        {"", false, 0},       {"0", false, 0},
        {"-1", false, 0}, {"65536", false, 0},      {"109837", false, 0}, {"4294967319", false, 0},
    };
    for (const Case& c : cases) {
        uint16_t port = 4242;
        EXPECT_EQ(ListenPortFromText(c.text, &port), c.valid) << c.text;
        EXPECT_EQ(port, c.valid ? c.port : 4242) << c.text;
    }
}

TEST(Addresses, ReadAndWrittenAsUsersWriteThem) {
    using platform::Endpoint;
    const std::pair<const char*, const char*> roundTrips[] = {
        {"192.168.1.5", "192.168.1.5"},
        {"::", "::"},
        {"::1", "::1"},
        {"fe80::1%3", "fe80::1%3"},
        {"FE80:0:0:0:0:0:0:1", "fe80::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        {"2001:db8::0:1", "2001:db8::1"},
        {"1:0:2:3:4:5:6:7", "1:0:2:3:4:5:6:7"},
        {"::ffff:127.0.0.1", "127.0.0.1"},  // an IPv4 client of an IPv6 socket
        {"::ffff:7f00:2", "127.0.0.2"},
        {"1:2:3:4:5:ffff:7f00:1", "1:2:3:4:5:ffff:7f00:1"},  // not mapped: no IPv4 form
    };
    for (const auto& [text, written] : roundTrips) {
        Endpoint e;
        ASSERT_TRUE(platform::ParseAddress(text, &e)) << text;
        EXPECT_EQ(platform::AddressText(e), written) << text;
    }
    for (const char* bad : {"", "1.2.3", "256.1.1.1", "01.2.3.4", "1.2.3.4.5",
                            "::1::", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7", ":1::", "localhost",
                            "fe80::1%", "fe80::1%eth0", "1.2.3.4%1", "::1.2.3.4:1", "12345::",
                            "1:2:3:4::5:6:7:8"}) {  // a gap must stand for at least one group
        Endpoint e;
        EXPECT_FALSE(platform::ParseAddress(bad, &e)) << bad;
    }
}

TEST(StatusWords, OneWordPerStatusAndUnknownBeyond) {
    EXPECT_STREQ(StatusWord(Initialization), "Initialization");
    EXPECT_STREQ(StatusWord(AttachingPipe), "Attaching Pipe");
    EXPECT_STREQ(StatusWord(Ready), "Ready");
    EXPECT_STREQ(StatusWord(Connected), "Connected");
    EXPECT_STREQ(StatusWord(Error), "Error");
    EXPECT_STREQ(StatusWord(5), "Unknown");
    EXPECT_STREQ(StatusWord(-1), "Unknown");
    // A pipe of ours that waits for its machine says so while nothing else is to be said.
    EXPECT_STREQ(StatusWord(Ready, true), "Waiting for the VM");
    EXPECT_STREQ(StatusWord(AttachingPipe, true), "Waiting for the VM");
    EXPECT_STREQ(StatusWord(Connected, true), "Connected");
    EXPECT_STREQ(StatusWord(Error, true), "Error");
}

TEST(Messages, FormatAndSystemTexts) {
    EXPECT_EQ(Format("Bind call failed (%d, %s)", 10049, "x"), "Bind call failed (10049, x)");
    EXPECT_EQ(Format("%s", std::string(1000, 'a').c_str()).size(), 1000u);
    // A system text is one line and never empty, even for a code the system does not know.
    for (int code : {2, 5, 109, 10048, 10061, 123456}) {
        std::string text = platform::GetSystemErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
    }
}

}  // namespace
}  // namespace tolvi
