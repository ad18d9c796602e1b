// The latest output of the console, as much as a new client is to be sent first: a ring of
// fixed capacity that always holds the last bytes appended, without the questions the console
// asked its terminal (a joining terminal would answer them into the live console). Its
// contents may be read from any thread (a script's tail of the console).
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/TerminalQueries.h"

namespace tolvi {

class ReplayBuffer {
  public:
    explicit ReplayBuffer(size_t capacity = 0) : ring(capacity) {}
    ReplayBuffer& operator=(ReplayBuffer&& other) noexcept {
        std::lock_guard<std::mutex> hold(lock);
        ring = std::move(other.ring);
        start = other.start;
        size = other.size;
        queries = other.queries;
        return *this;
    }

    size_t Capacity() const { return ring.size(); }
    size_t Size() const { return size; }
    void Append(const uint8_t* data, size_t count);
    // What it holds, oldest first.
    std::string Contents() const;

  private:
    void Store(const uint8_t* data, size_t count);

    mutable std::mutex lock;  // the ring against a reader of another thread
    std::vector<uint8_t> ring;
    size_t start = 0;  // where the oldest byte is
    size_t size = 0;
    TerminalQueryFilter queries;
    std::string kept;  // one append's bytes without its queries, reused
};

}  // namespace tolvi
