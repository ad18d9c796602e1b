// A client's output queue: pipe data goes out with 255 doubled, and only the pipe's own
// bytes count as sent, however the sends cut the queue.
#include <gtest/gtest.h>

#include <string>

#include "engine/OutputQueue.h"

namespace tolvi {
namespace {

std::string Take(OutputQueue& q, size_t size, uint64_t* pipeBytes) {
    std::string sent(reinterpret_cast<const char*>(q.Front()), std::min(size, q.Size()));
    *pipeBytes += q.Consume(size);
    return sent;
}

TEST(OutputQueue, PipeDataIsDoubledAndCountedOncePerPipeByte) {
    OutputQueue q;
    const std::string texts = "connected!\n\n";
    q.AppendProtocol(texts.data(), texts.size());
    const uint8_t pipe[] = {'a', 255, 'b', 255, 255, 'c'};
    q.AppendPipeData(pipe, sizeof pipe);
    const uint8_t answer[] = {255, 251, 1};
    q.AppendProtocol(answer, sizeof answer);
    EXPECT_EQ(q.Size(), texts.size() + 9 + 3);
    EXPECT_EQ(q.OwnSize(), texts.size() + 3);  // the relay's own bytes, not the pipe's

    // Cut into sends of every size from 1 to the whole queue: each way the same bytes go out
    // and six pipe bytes are counted, however a doubled 255 is split.
    const std::string whole = texts +
                              "a\xff\xff"
                              "b\xff\xff\xff\xff"
                              "c\xff\xfb\x01";
    for (size_t step = 1; step <= whole.size(); ++step) {
        OutputQueue copy;
        copy.AppendProtocol(texts.data(), texts.size());
        copy.AppendPipeData(pipe, sizeof pipe);
        copy.AppendProtocol(answer, sizeof answer);
        std::string out;
        uint64_t counted = 0, afterPipe = 0;
        while (!copy.Empty()) {
            out += Take(copy, step, &counted);
            if (out.size() <= texts.size()) {
                EXPECT_EQ(counted, 0u) << step;
            }
            if (out.size() == texts.size() + 9)
                afterPipe = counted;
        }
        EXPECT_EQ(out, whole) << step;
        EXPECT_EQ(counted, 6u) << step;
        EXPECT_EQ(copy.OwnSize(), 0u) << step;
        if (step == 1) {
            EXPECT_EQ(afterPipe, 6u);
        }
    }
}

TEST(OutputQueue, CountsGrowOnlyWhenAPairIsComplete) {
    OutputQueue q;
    const uint8_t pipe[] = {255};
    q.AppendPipeData(pipe, 1);
    EXPECT_EQ(q.Consume(1), 0u);  // half of the pair is out, the byte is not yet
    EXPECT_EQ(q.Consume(1), 1u);
    EXPECT_TRUE(q.Empty());
}

TEST(OutputQueue, LongRunsStayInOrderAcrossManyPartialSends) {
    OutputQueue q;
    std::string expected;
    uint64_t appended = 0, counted = 0;
    std::string out;
    for (int round = 0; round < 200; ++round) {
        std::string chunk(1000 + round * 37, '\0');
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>((i * 13 + round) % 256);
        q.AppendPipeData(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        appended += chunk.size();
        for (char c : chunk) {
            expected += c;
            if (c == '\xff')
                expected += c;
        }
        out += Take(q, 777 + round, &counted);
    }
    while (!q.Empty())
        out += Take(q, 4096, &counted);
    EXPECT_TRUE(out == expected);
    EXPECT_EQ(counted, appended);
}

TEST(OutputQueue, DroppingPipeDataKeepsOwnBytesAndAHalfSentTwin) {
    OutputQueue q;
    const uint8_t pipe[] = {255, 'a'};
    q.AppendPipeData(pipe, sizeof pipe);
    const uint8_t answer[] = {255, 251, 1};
    q.AppendProtocol(answer, sizeof answer);
    const uint8_t more[] = {'b', 'c'};
    q.AppendPipeData(more, sizeof more);
    uint64_t pipeBytes = 0;
    EXPECT_EQ(Take(q, 1, &pipeBytes), "\xff");  // the first of a doubled 255
    q.DropPipeData();
    EXPECT_EQ(Take(q, 100, &pipeBytes), "\xff\xff\xfb\x01");  // its twin, then the answer
    EXPECT_EQ(pipeBytes, 1u);
    EXPECT_EQ(q.OwnSize(), 0u);
}

}  // namespace
}  // namespace tolvi
