// Watching a console's lines for its patterns.
#include "engine/AlertWatcher.h"

namespace tolvi {

bool AlertLimiter::Tell(size_t pattern, Clock::time_point now, int* more) {
    if (pattern >= last.size())
        return false;
    if (last[pattern] != Clock::time_point{} && now - last[pattern] < kQuietTime) {
        ++untold[pattern];
        return false;
    }
    *more = untold[pattern];
    untold[pattern] = 0;
    last[pattern] = now;
    return true;
}

std::string PlainLine(const std::string& raw) {
    std::string plain;
    plain.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c == 0x1B && i + 1 < raw.size()) {
            char kind = raw[i + 1];
            i += 2;
            if (kind == '[') {  // CSI: parameters and intermediates, then the final byte
                while (i < raw.size() && (static_cast<unsigned char>(raw[i]) < 0x40 ||
                                          static_cast<unsigned char>(raw[i]) > 0x7E))
                    ++i;
                ++i;  // past the final byte
            } else if (kind == ']' || kind == 'P' || kind == '_' || kind == '^') {
                // A string, up to BEL or ESC backslash.
                while (i < raw.size() && raw[i] != '\x07' &&
                       !(raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '\\'))
                    ++i;
                if (i < raw.size() && raw[i] == '\x1b')
                    ++i;
                ++i;  // past BEL or the backslash
            } else if (kind >= 0x20 && kind <= 0x2F) {  // ESC ( B and the like
                ++i;
            }
            --i;  // i is past the sequence; the loop steps once more
            continue;
        }
        if (c < 0x20 && c != '\t')
            continue;
        if (c == 0x7F)
            continue;
        plain.push_back(static_cast<char>(c));
    }
    return plain;
}

bool AlertWatcher::Start(std::vector<AlertPattern> watched, Teller teller) {
    Stop();
    patterns = std::move(watched);
    tell = std::move(teller);
    limiter = AlertLimiter(patterns.size());
    stopping = false;
    stopRequested = false;
    return !thread.Start(&AlertWatcher::Run, this).Failed();
}

void AlertWatcher::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    stopRequested = true;  // also between the patterns of a line
    news.notify_all();
    thread.Join();
    std::lock_guard<std::mutex> hold(lock);
    waiting.clear();
    line.clear();
    lineMatched = 0;
    lineTooLong = false;
}

void AlertWatcher::Feed(const uint8_t* data, size_t size) {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (waiting.size() + size > kMostWaiting) {
            dropped += size;
            return;
        }
        waiting.append(reinterpret_cast<const char*>(data), size);
    }
    news.notify_one();
}

void AlertWatcher::Run(void* self) {
    auto* watcher = static_cast<AlertWatcher*>(self);
    platform::GiveWayToOtherThreads();  // a console that floods loses lines to the watch, not speed
    std::string chunk;
    for (;;) {
        bool quiet = false;
        {
            std::unique_lock<std::mutex> hold(watcher->lock);
            auto ready = [watcher] { return watcher->stopping || !watcher->waiting.empty(); };
            // A line begun and not ended is waited for as long as kPromptTime, then matched as
            // it stands: a prompt ends no line.
            if (watcher->line.size() > watcher->lineMatched)
                quiet = !watcher->news.wait_for(hold, kPromptTime, ready);
            else
                watcher->news.wait(hold, ready);
            if (watcher->stopping)
                return;
            chunk.swap(watcher->waiting);
            watcher->waiting.clear();
        }
        if (quiet) {
            watcher->Match(watcher->line);
            watcher->lineMatched = watcher->line.size();
        } else {
            watcher->Watch(chunk);
        }
    }
}

void AlertWatcher::Watch(const std::string& chunk) {
    size_t at = 0;
    while (at < chunk.size()) {
        size_t end = chunk.find('\n', at);
        size_t stop = end == std::string::npos ? chunk.size() : end;
        if (!lineTooLong) {
            // The raw line is kept longer than the plain one, for its escape sequences.
            const size_t most = 4 * kLongestLine;
            size_t take = std::min(stop - at, most - std::min(line.size(), most));
            line.append(chunk, at, take);
            lineTooLong = line.size() >= most && stop - at > take;
        }
        if (end == std::string::npos)
            return;  // the line goes on in the next chunk
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > lineMatched)  // not the prompt already matched, now answered
            Match(line);
        line.clear();
        lineMatched = 0;
        lineTooLong = false;
        at = end + 1;
    }
}

void AlertWatcher::Match(const std::string& raw) {
    std::string plain = PlainLine(raw);
    if (plain.size() > kLongestLine)
        plain.resize(kLongestLine);
    if (plain.empty())
        return;
    for (size_t i = 0; i < patterns.size() && !stopRequested.load(std::memory_order_relaxed);
         ++i) {
        if (!MatchesAlert(patterns[i], plain))
            continue;
        int more = 0;
        if (limiter.Tell(i, AlertLimiter::Clock::now(), &more))
            tell(ConsoleAlert{patterns[i].text, plain, more, std::chrono::system_clock::now()});
    }
}

}  // namespace tolvi
