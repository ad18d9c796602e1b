// The latest output of the console, as much as a new client is to be sent first: a ring of
// fixed capacity that always holds the last bytes appended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvi {

class ReplayBuffer {
  public:
    explicit ReplayBuffer(size_t capacity = 0) : ring_(capacity) {}

    size_t Capacity() const { return ring_.size(); }
    size_t Size() const { return size_; }
    void Append(const uint8_t* data, size_t size);
    // What it holds, oldest first.
    std::string Contents() const;

  private:
    std::vector<uint8_t> ring_;
    size_t start_ = 0;  // where the oldest byte is
    size_t size_ = 0;
};

}  // namespace tolvi
