// A console's screen recorded with its timing, off the relay's path, as the alert watcher
// watches it: the worker hands over what the pipe sends (and what was typed, and markers for
// what happens around the console) and goes on at once; a thread of the recorder's own writes
// them as asciicast v2 (engine/Asciicast.h) to a file of the connector's recordings folder, a
// new one each day and at limits.fileBytes, keeping the folder within its bounds
// (engine/RecordingFiles.h). A console that prints faster than the disk takes it loses
// recording, never speed, and the recording says so in a marker.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Asciicast.h"
#include "engine/RecordingFiles.h"
#include "platform/AppendFile.h"
#include "platform/Thread.h"

namespace tolvi {

class ConsoleRecorder {
  public:
    // What waits to be written, at most; markers have a little more room.
    static constexpr size_t kMostWaiting = 8u << 20;
    static constexpr size_t kMarkerRoom = 64u << 10;
    // The terminal a recording is played in: a serial console's own size.
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 24;
    // A file that could not be made is tried again after this.
    static constexpr std::chrono::seconds kRetryTime{60};

    using Clock = std::chrono::steady_clock;
    // A failure to tell (the folder or a file that cannot be written), on the recorder's thread.
    using Teller = std::function<void(const std::string&)>;

    ConsoleRecorder() = default;
    ~ConsoleRecorder() { Stop(); }
    ConsoleRecorder(const ConsoleRecorder&) = delete;
    ConsoleRecorder& operator=(const ConsoleRecorder&) = delete;

    // Starts recording into folder (made when missing; its parent must be there), each file
    // titled title. False when no thread could be made.
    bool Start(std::string folder, std::string title, RecordingLimits limits, Teller problem);
    // Writes what waits and closes the file.
    void Stop();
    bool Running() const { return thread.Joinable(); }

    // From any thread; each returns at once.
    void Output(const uint8_t* data, size_t size);
    void Input(const uint8_t* data, size_t size);
    void Marker(const std::string& text);

  private:
    struct Event {
        Clock::time_point at;
        char code;
        std::string data;
    };
    void Add(char code, const char* data, size_t size);
    static void Run(void* self);
    void Write(const Event& event);
    bool Begin(Clock::time_point at);
    void End();
    void Flush();

    std::mutex lock;
    std::condition_variable news;
    std::vector<Event> waiting;  // guarded by lock
    size_t waitingBytes = 0;     // guarded by lock
    uint64_t lostBytes = 0;      // guarded by lock: output the recording lost
    Clock::time_point lostAt;    // guarded by lock: when it began losing
    bool stopping = false;       // guarded by lock

    // The recorder thread's own.
    std::string folderPath;
    std::string fileTitle;
    RecordingLimits bounds;
    Teller tell;
    platform::AppendFile file;
    std::string fileName;
    uint64_t written = 0;
    Clock::time_point base;     // the time of second 0 of the file
    Clock::time_point dayEnds;  // local midnight, when the next file begins
    int64_t lastMicros = 0;
    Clock::time_point retryAt;  // after a failure, when to try a file again
    Utf8Stream outputText;
    Utf8Stream inputText;
    std::string line;
    std::string pending;  // lines not yet written
    platform::WorkerThread thread;
};

}  // namespace tolvi
