// The replay ring.
#include "engine/ReplayBuffer.h"

#include <cstring>

namespace tolvi {

void ReplayBuffer::Append(const uint8_t* data, size_t size) {
    const size_t capacity = ring_.size();
    if (capacity == 0)
        return;
    if (size >= capacity) {  // only the last capacity bytes can stay
        std::memcpy(ring_.data(), data + size - capacity, capacity);
        start_ = 0;
        size_ = capacity;
        return;
    }
    size_t end = (start_ + size_) % capacity;
    size_t first = size < capacity - end ? size : capacity - end;
    std::memcpy(ring_.data() + end, data, first);
    std::memcpy(ring_.data(), data + first, size - first);
    size_t total = size_ + size;
    if (total > capacity) {
        start_ = (start_ + total - capacity) % capacity;
        total = capacity;
    }
    size_ = total;
}

std::string ReplayBuffer::Contents() const {
    std::string out;
    out.reserve(size_);
    const size_t capacity = ring_.size();
    size_t first = size_ < capacity - start_ ? size_ : capacity - start_;
    out.append(reinterpret_cast<const char*>(ring_.data()) + start_, first);
    out.append(reinterpret_cast<const char*>(ring_.data()), size_ - first);
    return out;
}

}  // namespace tolvi
