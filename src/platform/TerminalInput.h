// What a terminal's reader thread has read and the relay has not taken yet, for each
// platform's terminal: held up to a limit, beyond which the reader waits as a slow console's
// sender would, with a wake signal that is set while some waits or once the input has ended.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/WakeSignal.h"

namespace tolvi::platform {

class TerminalInput {
  public:
    // The reader's side. Waits for room; false once the reader is to stop.
    bool WaitForRoom() {
        std::unique_lock<std::mutex> hold(lock);
        room.wait(hold, [this] { return stopping || input.size() < kHeldLimit; });
        return !stopping;
    }
    void Append(const char* data, size_t size) {
        std::lock_guard<std::mutex> hold(lock);
        input.append(data, size);
        waiting.Set();
    }
    // Nothing more comes.
    void End() {
        std::lock_guard<std::mutex> hold(lock);
        ended = true;
        waiting.Set();
    }

    // The relay's side.
    WakeSignal& Waiting() { return waiting; }
    std::string Take(bool* over) {
        std::string taken;
        {
            std::lock_guard<std::mutex> hold(lock);
            waiting.Reset();
            taken.swap(input);
            *over = ended;
        }
        room.notify_all();
        return taken;
    }
    // The reader's next WaitForRoom returns false.
    void Stop() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        room.notify_all();
    }

  private:
    static constexpr size_t kHeldLimit = 64 * 1024;

    std::mutex lock;
    std::condition_variable room;  // the relay took input, or the reader is to stop
    std::string input;
    bool ended = false;
    bool stopping = false;
    WakeSignal waiting;
};

}  // namespace tolvi::platform
