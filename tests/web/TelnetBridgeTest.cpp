// What the web console's bridge changes on the way between a connector and a browser.
#include <gtest/gtest.h>

#include "support/TestClient.h"
#include "web/TelnetBridge.h"

namespace tolvi::test {
namespace {

std::string Feed(web::FromConsole& from, const std::string& bytes, std::string* answers) {
    std::string text;
    from.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &text, answers);
    return text;
}

TEST(TelnetBridge, TelnetIsTakenOutAndItsOffersAnsweredOnce) {
    web::FromConsole from(true);
    std::string answers;
    // The connector's banner and offers, a doubled 255, and a command cut between two reads.
    std::string text = Feed(
        from,
        "wait" + Bytes({255, 251, 1, 255, 251, 3}) + "ing" + Bytes({255, 255}) + "!" + Bytes({255}),
        &answers);
    text += Feed(from, Bytes({253, 31}) + "x" + Bytes({255, 250, 24, 1, 255, 240, 255, 251, 1}),
                 &answers);
    EXPECT_EQ(text, "waiting\xC3\xBF!x");
    EXPECT_EQ(answers, Bytes({255, 253, 1, 255, 253, 3, 255, 252, 31}));
    // The COM port option is for serial clients: a terminal refuses it as any other.
    answers.clear();
    Feed(from, Bytes({255, 251, 44, 255, 253, 44}), &answers);
    EXPECT_EQ(answers, Bytes({255, 254, 44, 255, 252, 44}));

    web::FromConsole raw(false);
    EXPECT_EQ(Feed(raw, Bytes({255, 251, 1}), &answers), "\xC3\xBF\xC3\xBB\x01");
}

TEST(TelnetBridge, EveryByteBecomesTextABrowserAccepts) {
    web::FromConsole from(false);
    std::string none;
    // Whole UTF-8 passes, also when a character is cut between two reads; a byte that is not
    // UTF-8 (a stray lead, an overlong form, a surrogate, 255) is its Latin-1 character.
    std::string text = Feed(from, "caf\xC3", &none);
    text += Feed(from, "\xA9 \xE2\x82", &none);
    text += Feed(from, "\xAC \xC3(\xC0\x80\xED\xA0\x80\xFF", &none);
    std::string rest;
    from.Finish(&rest);
    EXPECT_EQ(text,
              "caf\xC3\xA9 \xE2\x82\xAC \xC3\x83(\xC3\x80\xC2\x80\xC3\xAD\xC2\xA0\xC2\x80\xC3\xBF");
    EXPECT_EQ(rest, "");
    Feed(from, "\xF0\x9F", &none);
    from.Finish(&rest);
    EXPECT_EQ(rest, "\xC3\xB0\xC2\x9F");
}

TEST(TelnetBridge, TypedBytesReachTheConnectorAsTelnetSendsThem) {
    std::string typed = "a\r" + Bytes({255}) + "b\r\nc\r";
    EXPECT_EQ(ToConsole(typed.data(), typed.size(), true),
              "a\r" + Bytes({0, 255, 255}) + "b\r\nc\r" + Bytes({0}));
    EXPECT_EQ(ToConsole(typed.data(), typed.size(), false), typed);
}

}  // namespace
}  // namespace tolvi::test
