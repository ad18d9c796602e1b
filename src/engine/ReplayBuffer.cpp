// The replay ring.
#include "engine/ReplayBuffer.h"

#include <cstring>

namespace tolvi {

void ReplayBuffer::Append(const uint8_t* data, size_t count) {
    if (ring.empty())
        return;
    kept.clear();
    queries.Feed(data, count, &kept);
    std::lock_guard<std::mutex> hold(lock);
    Store(reinterpret_cast<const uint8_t*>(kept.data()), kept.size());
}

void ReplayBuffer::Store(const uint8_t* data, size_t count) {
    const size_t capacity = ring.size();
    if (count >= capacity) {  // only the last capacity bytes can stay
        std::memcpy(ring.data(), data + count - capacity, capacity);
        start = 0;
        size = capacity;
        return;
    }
    size_t end = (start + size) % capacity;
    size_t first = count < capacity - end ? count : capacity - end;
    std::memcpy(ring.data() + end, data, first);
    std::memcpy(ring.data(), data + first, count - first);
    size_t total = size + count;
    if (total > capacity) {
        start = (start + total - capacity) % capacity;
        total = capacity;
    }
    size = total;
}

std::string ReplayBuffer::Contents() const {
    std::lock_guard<std::mutex> hold(lock);
    std::string out;
    out.reserve(size);
    const size_t capacity = ring.size();
    size_t first = size < capacity - start ? size : capacity - start;
    out.append(reinterpret_cast<const char*>(ring.data()) + start, first);
    out.append(reinterpret_cast<const char*>(ring.data()), size - first);
    return out;
}

}  // namespace tolvi
