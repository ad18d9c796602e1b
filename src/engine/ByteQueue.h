// A first-in first-out run of bytes whose front is always one contiguous block, so that it can
// be handed to one send or write call, and whose end can be received into directly. Room is
// kept between uses and never cleared to zero; nothing is allocated while the queue stays
// within the size it has reached.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace tolvi {

class ByteQueue {
  public:
    bool Empty() const { return head_ == tail_; }
    size_t Size() const { return tail_ - head_; }
    const uint8_t* Front() const { return bytes_.get() + head_; }

    void Append(const void* data, size_t size) {
        if (size == 0)
            return;
        std::memcpy(Reserve(size), data, size);
        Commit(size);
    }
    // Room for size more bytes at the end, to be filled and then confirmed with Commit.
    uint8_t* Reserve(size_t size) {
        if (tail_ + size > capacity_) {
            if (head_ > 0 && head_ >= Size() && Size() + size <= capacity_) {
                // Moved to the front once the consumed part is the larger one, so that the
                // copying stays in proportion to what passes through.
                std::memmove(bytes_.get(), bytes_.get() + head_, Size());
                tail_ -= head_;
                head_ = 0;
            }
            if (tail_ + size > capacity_) {
                size_t grown = capacity_ * 2 > tail_ + size ? capacity_ * 2 : tail_ + size;
                std::unique_ptr<uint8_t[]> larger(new uint8_t[grown]);
                if (tail_ > head_)
                    std::memcpy(larger.get(), bytes_.get() + head_, Size());
                tail_ -= head_;
                head_ = 0;
                bytes_ = std::move(larger);
                capacity_ = grown;
            }
        }
        return bytes_.get() + tail_;
    }
    // used of the bytes last reserved hold data.
    void Commit(size_t used) { tail_ += used; }

    void Consume(size_t size) {
        head_ += size < Size() ? size : Size();
        if (Empty())
            Clear();
    }
    void Clear() { head_ = tail_ = 0; }
    // Empties the queue and gives its room back.
    void Release() {
        Clear();
        bytes_.reset();
        capacity_ = 0;
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t capacity_ = 0;
    size_t head_ = 0;
    size_t tail_ = 0;
};

}  // namespace tolvi
