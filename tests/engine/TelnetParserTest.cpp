// The Telnet stream parser: what reaches the pipe and what is answered, whole and split.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/ComPortOption.h"
#include "engine/TelnetParser.h"
#include "engine/TelnetPolicies.h"
#include "support/TestClient.h"

namespace tolvi {
namespace {

using test::Bytes;

struct Result {
    std::string data;
    std::vector<std::pair<int, int>> answers;
};

// The connector's answers, as its policy gives them.
class Recorder : public TelnetReplies {
  public:
    explicit Recorder(Result* r) : r(r) {}
    void Reply(uint8_t command, uint8_t option) override {
        r->answers.emplace_back(command, option);
    }
    TelnetServerPolicy policy{*this};

  private:
    Result* r;
};

// Feeds the chunks in order through one parser, as successive receives from one client.
Result Feed(const std::vector<std::string>& chunks) {
    TelnetParser parser;
    Result result;
    Recorder recorder(&result);
    for (const std::string& chunk : chunks) {
        std::vector<uint8_t> data(chunk.size() + 1);
        size_t n = parser.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(),
                               data.data(), recorder.policy);
        EXPECT_LE(n, chunk.size());
        result.data.append(reinterpret_cast<const char*>(data.data()), n);
    }
    return result;
}

Result Feed(const std::string& chunk) {
    return Feed(std::vector<std::string>{chunk});
}

using Answers = std::vector<std::pair<int, int>>;

TEST(TelnetParser, OptionRequestsAreAnsweredAndRemoved) {
    Result r = Feed("ab" + Bytes({255, 253, 1}) + "cd");
    EXPECT_EQ(r.data, "abcd");
    EXPECT_EQ(r.answers, (Answers{{251, 1}}));

    EXPECT_EQ(Feed(Bytes({255, 253, 3})).answers, (Answers{{251, 3}}));    // DO SGA: WILL
    EXPECT_EQ(Feed(Bytes({255, 253, 24})).answers, (Answers{{252, 24}}));  // DO TTYPE: WONT
    EXPECT_EQ(Feed(Bytes({255, 251, 31})).answers, (Answers{{254, 31}}));  // WILL NAWS: DONT
    EXPECT_EQ(Feed(Bytes({255, 251, 1})).answers, (Answers{{254, 1}}));    // WILL ECHO: DONT
    EXPECT_TRUE(Feed(Bytes({255, 254, 1})).answers.empty());               // DONT: nothing
    EXPECT_TRUE(Feed(Bytes({255, 252, 3})).answers.empty());               // WONT: nothing
    EXPECT_EQ(Feed(Bytes({255, 254, 1})).data, "");
    EXPECT_EQ(Feed(Bytes({255, 253, 24})).data, "");
}

TEST(TelnetParser, EscapedIacIsOneDataByte) {
    EXPECT_EQ(Feed(Bytes({255, 255, 65})).data, Bytes({255, 65}));
    EXPECT_EQ(Feed({Bytes({'x', 255}), Bytes({255, 'y'})}).data, Bytes({'x', 255, 'y'}));
}

TEST(TelnetParser, TwoByteCommandsTakeTwoBytes) {
    for (int command = 240; command <= 249; ++command) {
        Result r = Feed(Bytes({'a', 255, command, 'b'}));
        EXPECT_EQ(r.data, "ab") << "command " << command;
        EXPECT_TRUE(r.answers.empty());
    }
    // IAC before a byte that is no command drops just those two bytes.
    EXPECT_EQ(Feed(Bytes({'a', 255, 0, 'b'})).data, "ab");
    EXPECT_EQ(Feed(Bytes({'a', 255, 65, 'b'})).data, "ab");
}

TEST(TelnetParser, SubnegotiationIsConsumedWhole) {
    EXPECT_EQ(Feed("a" + Bytes({255, 250, 24, 0, 'x', 'y', 255, 240}) + "z").data, "az");
    // An escaped IAC inside does not end it; a split across receives does not either.
    EXPECT_EQ(Feed(Bytes({255, 250, 31, 255, 255, 0, 80, 255, 240, 'k'})).data, "k");
    EXPECT_EQ(Feed({Bytes({255, 250, 31, 0}), Bytes({80, 0, 24, 255}), Bytes({240, 'k'})}).data,
              "k");
    EXPECT_TRUE(Feed(Bytes({255, 250, 24, 255, 240})).answers.empty());
}

// What a server's policy is asked beyond options, recorded with its answers.
struct ComPortRecorder : TelnetReplies, TelnetServerEvents {
    void Reply(uint8_t command, uint8_t option) override { answers.emplace_back(command, option); }
    void OnBinaryInput(bool on) override {
        binary = on;
        parser.SetBinary(on);  // as a session does, at once: the rest of the receive too
    }
    void OnComPortAgreed() override { ++agreed; }
    void OnComPortRequest(const uint8_t* request, size_t size) override {
        requests.emplace_back(reinterpret_cast<const char*>(request), size);
    }
    void OnBreak() override { ++breaks; }
    std::string Feed(const std::vector<std::string>& chunks) {
        std::string data;
        for (const std::string& chunk : chunks) {
            std::vector<uint8_t> out(chunk.size() + 1);
            size_t n = parser.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(),
                                   out.data(), policy);
            data.append(reinterpret_cast<const char*>(out.data()), n);
        }
        return data;
    }
    Answers answers;
    std::vector<std::string> requests;
    int agreed = 0, breaks = 0;
    bool binary = false;
    TelnetParser parser;
    TelnetServerPolicy policy{*this, this};
};

TEST(TelnetParser, SubnegotiationsAreReportedWholeAndBounded) {
    ComPortRecorder r;
    EXPECT_EQ(r.Feed({Bytes({255, 251, 44})}), "");  // WILL COM-PORT-OPTION: agreed, once
    EXPECT_EQ(r.Feed({Bytes({255, 251, 44, 255, 253, 44})}), "");
    EXPECT_EQ(r.answers, (Answers{{253, 44}, {251, 44}}));
    EXPECT_EQ(r.agreed, 1);
    // Split over receives, a doubled 255 in it one byte, the data around it kept.
    EXPECT_EQ(r.Feed({"a" + Bytes({255, 250, 44, 1, 0}), Bytes({0, 255, 255, 255}),
                      Bytes({240}) + "b"}),
              "ab");
    EXPECT_EQ(r.requests, (std::vector<std::string>{Bytes({1, 0, 0, 255})}));
    // One too long is dropped whole; one that never ends costs nothing and reports nothing.
    std::string tooLong = Bytes({255, 250, 44, 1}) + std::string(300, 'z') + Bytes({255, 240});
    EXPECT_EQ(r.Feed({tooLong + "c"}), "c");
    EXPECT_EQ(r.Feed({Bytes({255, 250, 44, 1}), std::string(100000, 'q'), Bytes({255, 240}) + "d"}),
              "d");
    EXPECT_EQ(r.requests.size(), 1u);
    // Binary: a NUL after CR is data from then on; BRK is a break.
    EXPECT_EQ(r.Feed({Bytes({255, 251, 0, 13, 0, 255, 243})}), std::string("\r\0", 2));
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(r.breaks, 1);

    // Without anywhere to send them, both options are refused as any other is.
    EXPECT_EQ(Feed(Bytes({255, 251, 44, 255, 253, 44, 255, 251, 0})).answers,
              (Answers{{254, 44}, {252, 44}, {254, 0}}));
}

TEST(ComPortOption, EachRequestIsAnsweredWithItsCodePlus100) {
    SerialLine line;
    ComPortSession port;
    ComPortEffects effects;
    auto ask = [&](const std::string& request) {
        std::string answer;
        effects = ComPortEffects{};
        port.Request(reinterpret_cast<const uint8_t*>(request.data()), request.size(), line, true,
                     &answer, &effects);
        return answer;
    };
    auto sb = [](const std::string& body) {
        return Bytes({255, 250, 44}) + body + Bytes({255, 240});
    };
    EXPECT_EQ(ask(Bytes({1, 0, 0, 0, 0})), sb(Bytes({101, 0, 1, 0xC2, 0})));  // 0: 115200 now
    EXPECT_FALSE(effects.lineChanged);
    EXPECT_EQ(ask(Bytes({1, 0, 0, 0x25, 0x80})), sb(Bytes({101, 0, 0, 0x25, 0x80})));  // 9600
    EXPECT_TRUE(effects.lineChanged);
    EXPECT_EQ(ask(Bytes({2, 7})), sb(Bytes({102, 7})));
    EXPECT_EQ(ask(Bytes({2, 9})), sb(Bytes({102, 7})));  // no such size: the one in force
    EXPECT_EQ(ask(Bytes({3, 3})), sb(Bytes({103, 3})));
    EXPECT_EQ(ask(Bytes({4, 0})), sb(Bytes({104, 1})));
    EXPECT_EQ(ask(Bytes({5, 0})), sb(Bytes({105, 1})));
    EXPECT_EQ(SerialLineText(line), "9600 7E1, no flow control");
    EXPECT_EQ(ask(Bytes({5, 5})), sb(Bytes({105, 5})));
    EXPECT_TRUE(effects.breakAsked);
    EXPECT_EQ(ask(Bytes({5, 4})), sb(Bytes({105, 5})));
    EXPECT_EQ(ask(Bytes({5, 6})), sb(Bytes({105, 6})));
    EXPECT_EQ(ask(Bytes({5, 9})), sb(Bytes({105, 9})));
    EXPECT_EQ(ask(Bytes({5, 7})), sb(Bytes({105, 9})));  // DTR, as set
    EXPECT_EQ(ask(Bytes({12, 2})), sb(Bytes({112, 2})));
    EXPECT_TRUE(effects.purgeToPipe);
    EXPECT_FALSE(effects.purgeFromPipe);
    EXPECT_EQ(ask(Bytes({12, 3})), sb(Bytes({112, 3})));
    EXPECT_TRUE(effects.purgeToPipe && effects.purgeFromPipe);
    EXPECT_EQ(ask(Bytes({1, 0, 0, 0, 255})), sb(Bytes({101, 0, 0, 0, 255, 255})));  // 255 doubled
    EXPECT_EQ(ask(Bytes({0})).substr(0, 10), Bytes({255, 250, 44, 100}) + "tolvi ");
    EXPECT_EQ(ask(Bytes({7})), sb(Bytes({107, 0xB0})));  // asked: CD, DSR and CTS up
    // The modem lines told as the mask lets them: all of them, then clear-to-send alone.
    EXPECT_EQ(port.ModemState(false, true), sb(Bytes({107, 0x0B})));
    EXPECT_EQ(ask(Bytes({11, 0x10})), sb(Bytes({111, 0x10})));
    EXPECT_EQ(port.ModemState(true, true), sb(Bytes({107, 0x10})));
    EXPECT_EQ(port.ModemState(false, true), "");
}

TEST(TelnetParser, NulAfterCrIsDroppedOtherNulsAreData) {
    EXPECT_EQ(Feed(Bytes({13, 0})).data, "\r");
    EXPECT_EQ(Feed(Bytes({0})).data, std::string(1, '\0'));
    EXPECT_EQ(Feed(Bytes({'a', 0, 'b'})).data, std::string("a\0b", 3));
    EXPECT_EQ(Feed({Bytes({'l', 's', 13}), Bytes({0, 'x'})}).data, "ls\rx");
    EXPECT_EQ(Feed(Bytes({13, 13, 0})).data, "\r\r");
    EXPECT_EQ(Feed(Bytes({13, 10})).data, "\r\n");
    EXPECT_EQ(Feed(Bytes({13, 0, 0})).data, std::string("\r\0", 2));
}

TEST(TelnetParser, CommandsSplitOverReceivesStayCommands) {
    Result r = Feed({"xy" + Bytes({255}), Bytes({253, 1}) + "z"});
    EXPECT_EQ(r.data, "xyz");
    EXPECT_EQ(r.answers, (Answers{{251, 1}}));

    r = Feed({Bytes({'a', 255, 253}), Bytes({24, 'b'})});
    EXPECT_EQ(r.data, "ab");
    EXPECT_EQ(r.answers, (Answers{{252, 24}}));
}

TEST(TelnetParser, AnyRandomSplitGivesTheSameResultAsOneChunk) {
    // Bytes drawn mostly from the interesting ones, so every state is visited often.
    const int pool[] = {255, 255, 253, 251, 252, 254, 250, 240, 241, 1, 3, 24, 13, 0, 'a', 'b'};
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string stream;
        size_t length = rng() % 64;
        for (size_t i = 0; i < length; ++i)
            stream += static_cast<char>(pool[rng() % 16]);
        std::vector<std::string> chunks;
        for (size_t at = 0; at < stream.size();) {
            size_t n = 1 + rng() % 8;
            chunks.push_back(stream.substr(at, n));
            at += n;
        }
        Result whole = Feed(stream);
        Result split = Feed(chunks);
        ASSERT_EQ(whole.data, split.data) << "round " << round;
        ASSERT_EQ(whole.answers, split.answers) << "round " << round;
    }
}

TEST(TelnetParser, WhatIsAgreedIsNotAcknowledgedAgain) {
    TelnetParser parser;
    Result result;
    Recorder recorder(&result);
    auto feed = [&](std::initializer_list<int> bytes) {
        std::string chunk = Bytes(bytes);
        uint8_t out[16];
        parser.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), out,
                    recorder.policy);
    };
    feed({255, 253, 1, 255, 253, 1});  // asked twice before we offered: agreed once
    recorder.policy.Offered(3);        // our WILL SGA went out: the client's DO agrees to it
    feed({255, 253, 3, 255, 253, 3, 255, 253, 1});
    feed({255, 254, 1, 255, 253, 1});  // switched off, then asked for again
    feed({255, 253, 24, 255, 253, 24, 255, 251, 31, 255, 251, 31});  // refusals every time
    EXPECT_EQ(result.answers,
              (Answers{{251, 1}, {251, 1}, {252, 24}, {252, 24}, {254, 31}, {254, 31}}));
}

}  // namespace
}  // namespace tolvi
