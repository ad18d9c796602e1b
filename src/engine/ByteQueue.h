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
    bool Empty() const { return head == tail; }
    size_t Size() const { return tail - head; }
    const uint8_t* Front() const { return bytes.get() + head; }

    void Append(const void* data, size_t size) {
        if (size == 0)
            return;
        std::memcpy(Reserve(size), data, size);
        Commit(size);
    }
    // Room for size more bytes at the end, to be filled and then confirmed with Commit.
    uint8_t* Reserve(size_t size) {
        if (tail + size > capacity) {
            if (head > 0 && head >= Size() && Size() + size <= capacity) {
                // Moved to the front once the consumed part is the larger one, so that the
                // copying stays in proportion to what passes through.
                std::memmove(bytes.get(), bytes.get() + head, Size());
                tail -= head;
                head = 0;
            }
            if (tail + size > capacity) {
                size_t grown = capacity * 2 > tail + size ? capacity * 2 : tail + size;
                std::unique_ptr<uint8_t[]> larger(new uint8_t[grown]);
                if (tail > head)
                    std::memcpy(larger.get(), bytes.get() + head, Size());
                tail -= head;
                head = 0;
                bytes = std::move(larger);
                capacity = grown;
            }
        }
        return bytes.get() + tail;
    }
    // used of the bytes last reserved hold data.
    void Commit(size_t used) { tail += used; }

    void Consume(size_t size) {
        head += size < Size() ? size : Size();
        if (Empty())
            Clear();
    }
    void Clear() { head = tail = 0; }
    // Empties the queue and gives its room back.
    void Release() {
        Clear();
        bytes.reset();
        capacity = 0;
    }

  private:
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t head = 0;
    size_t tail = 0;
};

}  // namespace tolvi
