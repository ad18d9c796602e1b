// A first-in first-out run of bytes whose front is always one contiguous block, so that it can
// be handed to one send or write call. Room is kept between uses; nothing is allocated while
// the queue stays within the size it has reached.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolvi {

class ByteQueue {
  public:
    bool Empty() const { return head_ == bytes_.size(); }
    size_t Size() const { return bytes_.size() - head_; }
    const uint8_t* Front() const { return bytes_.data() + head_; }

    void Append(const void* data, size_t size) {
        if (size == 0)
            return;
        Compact();
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    // Room for size more bytes at the end, to be filled and then confirmed with Commit.
    uint8_t* Reserve(size_t size) {
        Compact();
        reserved_ = bytes_.size();
        bytes_.resize(reserved_ + size);
        return bytes_.data() + reserved_;
    }
    void Commit(size_t used) { bytes_.resize(reserved_ + used); }

    void Consume(size_t size) {
        head_ += size < Size() ? size : Size();
        if (Empty())
            Clear();
    }
    void Clear() {
        bytes_.clear();
        head_ = 0;
    }

  private:
    // Moves the bytes to the front once the consumed part is the larger one, so that the
    // copying stays in proportion to what passes through.
    void Compact() {
        if (head_ > 0 && head_ >= Size()) {
            std::memmove(bytes_.data(), bytes_.data() + head_, Size());
            bytes_.resize(Size());
            head_ = 0;
        }
    }

    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
    size_t reserved_ = 0;
};

}  // namespace tolvi
