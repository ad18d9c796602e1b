// Fuzzes the Telnet parser: any input, cut into receives anywhere, must give the same pipe
// data and answers as the same input in one piece, and never more data than came in. The COM
// port option's requests are answered too, so that their values are fuzzed as well.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/ComPortOption.h"
#include "engine/TelnetParser.h"
#include "engine/TelnetPolicies.h"

namespace {

struct Collected : tolvi::TelnetReplies, tolvi::TelnetServerEvents {
    std::string data;
    std::vector<uint16_t> answers;
    std::string comPortAnswers;
    tolvi::SerialLine line;
    tolvi::ComPortSession port;
    tolvi::TelnetServerPolicy policy{*this, this};
    void Reply(uint8_t command, uint8_t option) override {
        answers.push_back(static_cast<uint16_t>(command << 8 | option));
    }
    void OnBinaryInput(bool) override {}
    void OnComPortAgreed() override {}
    void OnComPortRequest(const uint8_t* request, size_t size) override {
        tolvi::ComPortEffects effects;
        port.Request(request, size, line, true, &comPortAnswers, &effects);
    }
    void OnBreak() override {}
};

void Feed(tolvi::TelnetParser& parser, const uint8_t* bytes, size_t n, Collected& out) {
    uint8_t data[256];
    while (n > 0) {
        size_t piece = n < 255 ? n : 255;
        size_t got = parser.Feed(bytes, piece, data, out.policy);
        if (got > piece)
            std::abort();
        out.data.append(reinterpret_cast<const char*>(data), got);
        bytes += piece;
        n -= piece;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses where the receives are cut.
    unsigned seed = input[0];
    const uint8_t* stream = input + 1;
    size_t n = size - 1;

    tolvi::TelnetParser whole;
    Collected one;
    Feed(whole, stream, n, one);

    tolvi::TelnetParser split;
    Collected many;
    for (size_t at = 0; at < n;) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % 17;
        if (piece > n - at)
            piece = n - at;
        Feed(split, stream + at, piece, many);
        at += piece;
    }
    if (one.data != many.data || one.answers != many.answers ||
        one.comPortAnswers != many.comPortAnswers)
        std::abort();
    if (one.data.size() > n)
        std::abort();
    return 0;
}
