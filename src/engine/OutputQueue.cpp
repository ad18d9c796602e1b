// The client's output queue.
#include "engine/OutputQueue.h"

#include <algorithm>

namespace tolvi {

namespace {
constexpr uint8_t kIac = 255;
}

void OutputQueue::AddRun(size_t size, Kind kind) {
    if (size == 0)
        return;
    if (kind == Kind::Own)
        ownBytes += size;
    if (!runs.empty() && runs.back().kind == kind)
        runs.back().size += size;
    else
        runs.push_back(Run{size, kind});
}

void OutputQueue::AppendPipeData(const uint8_t* data, size_t size, bool counted, bool doubled) {
    if (!doubled) {
        bytes.Append(data, size);
        AddRun(size, counted ? Kind::RawPipe : Kind::Replay);
        return;
    }
    size_t extra = static_cast<size_t>(std::count(data, data + size, kIac));
    uint8_t* out = bytes.Reserve(size + extra);
    if (extra == 0) {
        std::memcpy(out, data, size);
    } else {
        uint8_t* p = out;
        for (size_t i = 0; i < size; ++i) {
            *p++ = data[i];
            if (data[i] == kIac)
                *p++ = kIac;
        }
    }
    bytes.Commit(size + extra);
    AddRun(size + extra, counted ? Kind::Pipe : Kind::Replay);
}

void OutputQueue::AppendProtocol(const void* data, size_t size) {
    bytes.Append(data, size);
    AddRun(size, Kind::Own);
}

uint64_t OutputQueue::Consume(size_t size) {
    uint64_t pipeBytes = 0;
    size = std::min(size, bytes.Size());
    while (size > 0) {
        Run& run = runs.front();
        size_t take = std::min(size, run.size);
        if (run.kind == Kind::Own)
            ownBytes -= take;
        if (run.kind == Kind::RawPipe)
            pipeBytes += take;
        if (run.kind == Kind::Pipe) {
            // In pipe data every 255 is one of a pair: each pair that is now complete is one
            // byte of the pipe.
            const uint8_t* front = bytes.Front();
            size_t iacs = static_cast<size_t>(std::count(front, front + take, kIac));
            size_t halves = iacs + (halfSent ? 1 : 0);
            pipeBytes += (take - iacs) + halves / 2;
            halfSent = halves % 2 != 0;
        }
        bytes.Consume(take);
        run.size -= take;
        size -= take;
        if (run.size == 0)
            runs.pop_front();
    }
    return pipeBytes;
}

void OutputQueue::DropPipeData() {
    ByteQueue kept;
    std::deque<Run> keptRuns;
    const uint8_t* at = bytes.Front();
    bool front = true;
    for (const Run& run : runs) {
        size_t keep = run.kind == Kind::Own ? run.size : (front && halfSent ? 1 : 0);
        if (keep > 0) {
            kept.Append(at, keep);
            keptRuns.push_back(Run{keep, run.kind});
        }
        at += run.size;
        front = false;
    }
    bytes = std::move(kept);
    runs = std::move(keptRuns);
}

void OutputQueue::Clear() {
    bytes.Clear();
    runs.clear();
    ownBytes = 0;
    halfSent = false;
}

}  // namespace tolvi
