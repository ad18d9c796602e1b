// Recording a console.
#include "engine/ConsoleRecorder.h"

#include "engine/Format.h"
#include "engine/SafeText.h"
#include "platform/ErrorText.h"
#include "platform/Folder.h"
#include "platform/UserFolder.h"

namespace tolvi {

namespace {
// Output that comes this close after the last is one event with it: fewer lines, the same
// screen.
constexpr auto kSameMoment = std::chrono::milliseconds(2);
// Lines are written when this much waits, and at the end of each turn.
constexpr size_t kWriteSize = 256u << 10;
}  // namespace

bool ConsoleRecorder::Start(std::string folder, std::string title, RecordingLimits limits,
                            Teller problem) {
    Stop();
    folderPath = std::move(folder);
    fileTitle = std::move(title);
    bounds = limits;
    tell = std::move(problem);
    stopping = false;
    retryAt = Clock::time_point{};
    return !thread.Start(&ConsoleRecorder::Run, this).Failed();
}

void ConsoleRecorder::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    news.notify_all();
    thread.Join();  // it writes what waits first
    std::lock_guard<std::mutex> hold(lock);
    waiting.clear();
    waitingBytes = 0;
    lostBytes = 0;
}

void ConsoleRecorder::Output(const uint8_t* data, size_t size) {
    Add('o', reinterpret_cast<const char*>(data), size);
}

void ConsoleRecorder::Input(const uint8_t* data, size_t size) {
    Add('i', reinterpret_cast<const char*>(data), size);
}

void ConsoleRecorder::Marker(const std::string& text) {
    Add('m', text.data(), text.size());
}

void ConsoleRecorder::Add(char code, const char* data, size_t size) {
    if (size == 0)
        return;
    {
        std::lock_guard<std::mutex> hold(lock);
        Clock::time_point now = Clock::now();  // under the lock: the queue's order is the times'
        size_t room = kMostWaiting + (code == 'm' ? kMarkerRoom : 0);
        if (waitingBytes + size > room) {
            if (code == 'o') {
                if (lostBytes == 0)
                    lostAt = now;
                lostBytes += size;
            }
            return;
        }
        waitingBytes += size;
        if (code == 'o' && !waiting.empty() && waiting.back().code == 'o' &&
            now - waiting.back().at < kSameMoment) {
            waiting.back().data.append(data, size);
        } else {
            waiting.push_back(Event{now, code, std::string(data, size)});
        }
    }
    news.notify_one();
}

void ConsoleRecorder::Run(void* self) {
    auto* r = static_cast<ConsoleRecorder*>(self);
    platform::GiveWayToOtherThreads();  // a console that floods loses recording, not speed
    std::vector<Event> batch;
    for (;;) {
        uint64_t lost = 0;
        Clock::time_point lostWhen;
        bool last;
        {
            std::unique_lock<std::mutex> hold(r->lock);
            r->news.wait(hold, [r] { return r->stopping || !r->waiting.empty() || r->lostBytes > 0; });
            batch.swap(r->waiting);
            r->waiting.clear();
            r->waitingBytes = 0;
            lost = r->lostBytes;
            lostWhen = r->lostAt;
            r->lostBytes = 0;
            last = r->stopping;
        }
        for (const Event& e : batch)
            r->Write(e);
        batch.clear();
        if (lost > 0) {
            r->Write(Event{lostWhen, 'm',
                           Format("recording lost %llu bytes of output: the disk fell behind "
                                  "the console",
                                  static_cast<unsigned long long>(lost))});
        }
        r->Flush();
        if (last) {
            r->End();
            return;
        }
    }
}

void ConsoleRecorder::Write(const Event& event) {
    if (file.IsOpen() && (event.at >= dayEnds || written >= bounds.fileBytes))
        End();  // a new day, or a file full: the next begins with this event
    if (!file.IsOpen() && !Begin(event.at))
        return;
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(event.at - base).count();
    if (micros < lastMicros)
        micros = lastMicros;  // never back in time, whatever the clocks did
    lastMicros = micros;
    line.clear();
    if (event.code == 'o')
        outputText.Feed(reinterpret_cast<const uint8_t*>(event.data.data()), event.data.size(), &line);
    else if (event.code == 'i')
        inputText.Feed(reinterpret_cast<const uint8_t*>(event.data.data()), event.data.size(), &line);
    else
        line = ValidUtf8(event.data);
    if (line.empty())
        return;  // the start of a character, held for the next piece
    size_t before = pending.size();
    AppendAsciicastEvent(&pending, micros, event.code, line);
    written += pending.size() - before;
    if (pending.size() >= kWriteSize)
        Flush();
}

// A new file, whose second 0 is the whole second before at.
bool ConsoleRecorder::Begin(Clock::time_point at) {
    if (retryAt != Clock::time_point{} && at < retryAt)
        return false;  // the failure has been told: quiet until it is tried again
    using namespace std::chrono;
    system_clock::time_point wall =
        system_clock::now() - duration_cast<system_clock::duration>(Clock::now() - at);
    system_clock::time_point second = floor<seconds>(wall);
    base = at - duration_cast<Clock::duration>(wall - second);
    dayEnds = base + duration_cast<Clock::duration>(NextLocalMidnight(wall) - second);
    if (!platform::MakeFolder(folderPath)) {
        retryAt = at + kRetryTime;
        if (tell)
            tell(Format("Could not record the console: its folder %s cannot be made",
                        folderPath.c_str()));
        return false;
    }
    // A name not taken yet: a file full within its first second is followed by one of the
    // same second.
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folderPath, &entries);
    for (int nth = 1;; ++nth) {
        fileName = RecordingName(wall, nth);
        bool taken = false;
        for (const auto& e : entries)
            taken = taken || e.name == fileName;
        if (!taken)
            break;
    }
    std::string path = platform::JoinPath(folderPath, fileName);
    uint64_t size = 0;
    platform::SysError error = file.Open(path, &size);
    if (error.Failed()) {
        retryAt = at + kRetryTime;
        if (tell)
            tell(Format("Could not record the console in %s (%s)", path.c_str(),
                        platform::GetSystemErrorText(error.code).c_str()));
        return false;
    }
    retryAt = Clock::time_point{};
    lastMicros = 0;
    outputText = Utf8Stream();
    inputText = Utf8Stream();
    pending = AsciicastHeader(kWidth, kHeight,
                              duration_cast<seconds>(second.time_since_epoch()).count(), fileTitle);
    written = pending.size();
    PruneRecordings(folderPath, bounds, fileName, wall);
    return true;
}

void ConsoleRecorder::Flush() {
    if (pending.empty() || !file.IsOpen())
        return;
    platform::SysError error = file.Write(pending.data(), pending.size());
    pending.clear();
    if (error.Failed()) {
        file.Close();
        retryAt = Clock::now() + kRetryTime;
        if (tell)
            tell(Format("Could not record the console in %s (%s)",
                        platform::JoinPath(folderPath, fileName).c_str(),
                        platform::GetSystemErrorText(error.code).c_str()));
    }
}

void ConsoleRecorder::End() {
    if (!file.IsOpen())
        return;
    line.clear();
    outputText.Finish(&line);
    if (!line.empty())
        AppendAsciicastEvent(&pending, lastMicros, 'o', line);
    line.clear();
    inputText.Finish(&line);
    if (!line.empty())
        AppendAsciicastEvent(&pending, lastMicros, 'i', line);
    Flush();
    file.Close();
}

}  // namespace tolvi
