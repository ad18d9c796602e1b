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
        ownBytes_ += size;
    if (!runs_.empty() && runs_.back().kind == kind)
        runs_.back().size += size;
    else
        runs_.push_back(Run{size, kind});
}

void OutputQueue::AppendPipeData(const uint8_t* data, size_t size, bool counted, bool doubled) {
    if (!doubled) {
        bytes_.Append(data, size);
        AddRun(size, counted ? Kind::RawPipe : Kind::Replay);
        return;
    }
    size_t extra = static_cast<size_t>(std::count(data, data + size, kIac));
    uint8_t* out = bytes_.Reserve(size + extra);
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
    bytes_.Commit(size + extra);
    AddRun(size + extra, counted ? Kind::Pipe : Kind::Replay);
}

void OutputQueue::AppendProtocol(const void* data, size_t size) {
    bytes_.Append(data, size);
    AddRun(size, Kind::Own);
}

uint64_t OutputQueue::Consume(size_t size) {
    uint64_t pipeBytes = 0;
    size = std::min(size, bytes_.Size());
    while (size > 0) {
        Run& run = runs_.front();
        size_t take = std::min(size, run.size);
        if (run.kind == Kind::Own)
            ownBytes_ -= take;
        if (run.kind == Kind::RawPipe)
            pipeBytes += take;
        if (run.kind == Kind::Pipe) {
            // In pipe data every 255 is one of a pair: each pair that is now complete is one
            // byte of the pipe.
            const uint8_t* front = bytes_.Front();
            size_t iacs = static_cast<size_t>(std::count(front, front + take, kIac));
            size_t halves = iacs + (halfSent_ ? 1 : 0);
            pipeBytes += (take - iacs) + halves / 2;
            halfSent_ = halves % 2 != 0;
        }
        bytes_.Consume(take);
        run.size -= take;
        size -= take;
        if (run.size == 0)
            runs_.pop_front();
    }
    return pipeBytes;
}

void OutputQueue::Clear() {
    bytes_.Clear();
    runs_.clear();
    ownBytes_ = 0;
    halfSent_ = false;
}

}  // namespace tolvi
