// Watching a console's lines for its patterns.
#include "engine/AlertWatcher.h"

#include <algorithm>

#include "engine/SafeText.h"

namespace tolvi {

bool AlertLimiter::Tell(size_t pattern, Clock::time_point now, int* more) {
    if (pattern >= last.size())
        return false;
    if (last[pattern] != Clock::time_point{} && now - last[pattern] < quietTime) {
        ++untold[pattern];
        return false;
    }
    *more = untold[pattern];
    untold[pattern] = 0;
    last[pattern] = now;
    return true;
}

namespace {

unsigned char At(const std::string& raw, size_t i) {
    return static_cast<unsigned char>(raw[i]);
}

// The C1 control at raw[i], as a byte of its own (0x80 to 0x9F where no UTF-8 character
// starts) or in UTF-8 (C2 80 to C2 9F): its code, with *length its bytes; 0 for none.
unsigned C1At(const std::string& raw, size_t i, size_t* length) {
    const unsigned char c = At(raw, i);
    if (c >= 0x80 && c <= 0x9F) {
        *length = 1;
        return c;
    }
    if (c == 0xC2 && i + 1 < raw.size() && At(raw, i + 1) >= 0x80 && At(raw, i + 1) <= 0x9F) {
        *length = 2;
        return At(raw, i + 1);
    }
    return 0;
}

// The sequence a C1 control begins, as the letter that follows ESC for it; 0 for none.
char SequenceOf(unsigned c1) {
    switch (c1) {
        case 0x9B: return '[';  // CSI
        case 0x9D: return ']';  // OSC
        case 0x90: return 'P';  // DCS
        case 0x98: return 'X';  // SOS
        case 0x9E: return '^';  // PM
        case 0x9F: return '_';  // APC
        default: return 0;
    }
}

bool IsSequence(char kind) {
    return kind == '[' || kind == ']' || kind == 'P' || kind == 'X' || kind == '^' || kind == '_';
}

// Where the sequence of kind that goes on at raw[i] ends.
size_t PastSequence(const std::string& raw, size_t i, char kind) {
    if (kind == '[') {  // parameters and intermediates, then the final byte
        while (i < raw.size() && (At(raw, i) < 0x40 || At(raw, i) > 0x7E))
            ++i;
        return std::min(raw.size(), i + 1);
    }
    // A string, up to BEL or ST: ESC backslash, or ST's C1 control.
    while (i < raw.size()) {
        if (At(raw, i) == 0x07)
            return i + 1;
        if (At(raw, i) == 0x1B && i + 1 < raw.size() && raw[i + 1] == '\\')
            return i + 2;
        size_t length = 0;
        if (C1At(raw, i, &length) == 0x9C)
            return i + length;
        // A character of the string's text is passed whole: its last byte may look like ST.
        i += std::max<size_t>(1, Utf8CharacterLength(std::string_view(raw).substr(i)));
    }
    return i;
}

}  // namespace

std::string PlainLine(const std::string& raw) {
    std::string plain;
    plain.reserve(raw.size());
    size_t i = 0;
    while (i < raw.size()) {
        // Printable ASCII, most of a line, goes over in runs.
        size_t run = i;
        while (run < raw.size() && At(raw, run) >= 0x20 && At(raw, run) < 0x7F)
            ++run;
        if (run > i) {
            plain.append(raw, i, run - i);
            i = run;
            continue;
        }
        const unsigned char c = At(raw, i);
        if (c == 0x1B && i + 1 < raw.size()) {
            const char kind = raw[i + 1];
            i += 2;
            if (IsSequence(kind))
                i = PastSequence(raw, i, kind);
            else if (kind >= 0x20 && kind <= 0x2F)  // ESC ( B and the like
                i = std::min(raw.size(), i + 1);
            continue;
        }
        size_t length = 0;
        if (const unsigned c1 = C1At(raw, i, &length)) {
            i += length;
            if (const char kind = SequenceOf(c1))
                i = PastSequence(raw, i, kind);
            continue;
        }
        length = c < 0x80 ? 1 : Utf8CharacterLength(std::string_view(raw).substr(i));
        if (length > 1) {
            plain.append(raw, i, length);
            i += length;
            continue;
        }
        if ((c >= 0x20 && c != 0x7F) || c == '\t')
            plain.push_back(static_cast<char>(c));
        ++i;
    }
    return plain;
}

std::string SkippedLinesText(uint64_t lines) {
    std::string digits = std::to_string(lines);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits + (lines == 1 ? " line" : " lines") +
           " not matched, the console is faster than its patterns";
}

bool AlertWatcher::Start(std::vector<AlertPattern> patterns, Teller teller, SkipTeller skipTeller,
                         AlertLimiter::Clock::duration quietTime) {
    Stop();
    limiter = AlertLimiter(patterns.size(), quietTime);
    matcher = AlertMatcher(std::move(patterns));
    tell = std::move(teller);
    tellSkipped = std::move(skipTeller);
    stopping = false;
    stopRequested = false;
    skipped = 0;
    skippedTold = 0;
    skipToldOnce = false;
    lastData = Clock::now();
    return !thread.Start(&AlertWatcher::Run, this).Failed();
}

void AlertWatcher::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    stopRequested = true;  // also between the alerts of a line
    news.notify_all();
    thread.Join();
    std::lock_guard<std::mutex> hold(lock);
    waiting.clear();
    dropping = false;
    line.clear();
    lineMatched = 0;
    lineTooLong = false;
    skipToLineEnd = false;
}

size_t AlertWatcher::Waiting() const {
    std::lock_guard<std::mutex> hold(lock);
    return waiting.size();
}

void AlertWatcher::Feed(const uint8_t* data, size_t size) {
    if (size == 0)
        return;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (dropping || waiting.size() + size > kMostWaiting) {
            // Every line the dropped bytes touch is lost to the watch: the one they begin in,
            // and one more for each line end in them but a last byte's.
            const uint64_t ends = static_cast<uint64_t>(std::count(data, data + size, '\n'));
            const bool atLineEnd = data[size - 1] == '\n';
            const uint64_t lines =
                ends - (atLineEnd ? 1 : 0) + (!dropping || droppedAtLineEnd ? 1 : 0);
            skipped.fetch_add(lines, std::memory_order_relaxed);
            dropping = true;
            droppedAtLineEnd = atLineEnd;
        } else {
            waiting.append(reinterpret_cast<const char*>(data), size);
        }
    }
    news.notify_one();
}

void AlertWatcher::Wait(std::unique_lock<std::mutex>& hold) {
    for (;;) {
        if (stopping || !waiting.empty() || dropping)
            return;
        // A line begun and not ended is waited for as long as kPromptTime, then matched as it
        // stands: a prompt ends no line. Lines skipped and not yet told are told when their
        // time comes.
        Clock::time_point until = Clock::time_point::max();
        if (line.size() > lineMatched)
            until = lastData + kPromptTime;
        if (skipToldOnce && skipped.load(std::memory_order_relaxed) > skippedTold)
            until = std::min(until, skipToldAt + kSkipTellTime);
        if (until == Clock::time_point::max())
            news.wait(hold);
        else if (news.wait_until(hold, until) == std::cv_status::timeout)
            return;
    }
}

void AlertWatcher::Run(void* self) {
    auto* watcher = static_cast<AlertWatcher*>(self);
    platform::GiveWayToOtherThreads();  // a console that floods loses lines to the watch, not speed
    std::string chunk;
    for (;;) {
        bool dropped = false, droppedLineEnd = false;
        {
            std::unique_lock<std::mutex> hold(watcher->lock);
            watcher->Wait(hold);
            if (watcher->stopping)
                return;
            chunk.swap(watcher->waiting);
            watcher->waiting.clear();
            dropped = watcher->dropping;
            droppedLineEnd = watcher->droppedAtLineEnd;
            watcher->dropping = false;
        }
        const Clock::time_point now = Clock::now();
        if (!chunk.empty()) {
            watcher->Watch(chunk);
            watcher->lastData = now;
        }
        if (dropped) {
            // The line at hand went on, or ended, in what was dropped, and was counted there;
            // what comes next belongs to a line whose start is gone, unless a line ended last.
            watcher->line.clear();
            watcher->lineMatched = 0;
            watcher->lineTooLong = false;
            watcher->skipToLineEnd = !droppedLineEnd;
            watcher->lastData = now;
        } else if (chunk.empty() && watcher->line.size() > watcher->lineMatched &&
                   now - watcher->lastData >= kPromptTime) {
            watcher->Match(watcher->line);
            watcher->lineMatched = watcher->line.size();
        }
        watcher->TellSkipped(now);
    }
}

void AlertWatcher::Watch(const std::string& chunk) {
    size_t at = 0;
    if (skipToLineEnd) {
        const size_t end = chunk.find('\n');
        if (end == std::string::npos)
            return;
        at = end + 1;
        skipToLineEnd = false;
    }
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
    matcher.Match(plain, &matched);
    for (int i : matched) {
        if (stopRequested.load(std::memory_order_relaxed))
            return;
        int more = 0;
        if (limiter.Tell(static_cast<size_t>(i), Clock::now(), &more))
            tell(ConsoleAlert{matcher.Pattern(static_cast<size_t>(i)).text, plain, more,
                              std::chrono::system_clock::now()});
    }
}

void AlertWatcher::TellSkipped(Clock::time_point now) {
    const uint64_t total = skipped.load(std::memory_order_relaxed);
    if (total == skippedTold || (skipToldOnce && now - skipToldAt < kSkipTellTime))
        return;
    if (tellSkipped)
        tellSkipped(total - skippedTold);
    skippedTold = total;
    skipToldAt = now;
    skipToldOnce = true;
}

}  // namespace tolvi
