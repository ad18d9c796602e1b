// The terminal on Windows: the console's input without line, echo or processed input and with
// virtual terminal input, its output with virtual terminal processing, both code pages UTF-8,
// and all of it put back at the end. A reader thread waits on the console's input and an event
// of its own; a piped standard input, which no wait can end, has a reader that is let go.
#include "platform/Terminal.h"

#include <windows.h>

#include "platform/ErrorText.h"
#include "platform/TerminalInput.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

namespace tolvi::platform {
namespace {

// A console reader returns within moments of its event; one that does not is let go.
constexpr DWORD kReaderEndMs = 2000;

// How many bytes at the end of text begin a UTF-8 character that is not whole yet.
size_t UnfinishedTail(const char* text, size_t size) {
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        auto b = static_cast<unsigned char>(text[size - back]);
        if (b < 0x80)
            return 0;
        if (b < 0xC0)
            continue;  // a continuation byte: the lead is further back
        size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        return back < length ? back : 0;
    }
    return 0;
}

// Whether the console's input holds a character to read, rather than only key releases, focus
// and the like, which ReadConsoleW would wait past.
bool HasCharacter(const INPUT_RECORD* records, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType != KEY_EVENT)
            continue;
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        // A character typed as Alt and its code comes with the release of Alt.
        if (key.uChar.UnicodeChar != 0 && (key.bKeyDown || key.wVirtualKeyCode == VK_MENU))
            return true;
    }
    return false;
}

bool WriteAll(HANDLE to, const char* data, size_t size) {
    while (size > 0) {
        DWORD wrote = 0;
        DWORD piece = size > 65536 ? 65536 : static_cast<DWORD>(size);
        if (!WriteFile(to, data, piece, &wrote, nullptr) || wrote == 0)
            return false;
        data += wrote;
        size -= wrote;
    }
    return true;
}

}  // namespace

struct Terminal::State {
    TerminalInput input;
    HANDLE in = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    bool inConsole = false, outConsole = false;
    bool inChanged = false, outChanged = false;
    DWORD inMode = 0, outMode = 0;
    UINT inCodePage = 0, outCodePage = 0;
    UniqueHandle stop;    // set when the reader is to stop
    UniqueHandle reader;  // the reader thread
    wchar_t highSurrogate = 0;  // the first half of a character whose second is still to come
    std::string unfinished;     // output: the start of a character cut between two writes

    void Read();
    bool ReadConsoleKeys(std::string* text);
};

bool Terminal::State::ReadConsoleKeys(std::string* text) {
    for (;;) {
        HANDLE both[2] = {stop.get(), in};
        DWORD r = WaitForMultipleObjects(2, both, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0)
            return true;  // stopping: nothing read
        if (r != WAIT_OBJECT_0 + 1)
            return false;
        INPUT_RECORD records[64];
        DWORD count = 0;
        if (!PeekConsoleInputW(in, records, 64, &count))
            return false;
        if (!HasCharacter(records, count)) {
            if (count > 0 && !ReadConsoleInputW(in, records, count, &count))
                return false;
            continue;
        }
        wchar_t wide[1024];
        DWORD got = 0;
        if (!ReadConsoleW(in, wide + 1, 1023, &got, nullptr))
            return false;
        // A character of two halves may be cut between two reads: its first half waits.
        wchar_t* from = wide + 1;
        if (highSurrogate != 0 && got > 0) {
            *--from = highSurrogate;
            ++got;
        }
        highSurrogate = 0;
        if (got > 0 && from[got - 1] >= 0xD800 && from[got - 1] <= 0xDBFF)
            highSurrogate = from[--got];
        *text = Narrow(from, static_cast<int>(got));
        return true;
    }
}

void Terminal::State::Read() {
    char buffer[4096];
    while (input.WaitForRoom()) {
        std::string text;
        if (inConsole) {
            if (!ReadConsoleKeys(&text))
                break;
        } else {
            DWORD got = 0;
            if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr) || got == 0)
                break;
            text.assign(buffer, got);
        }
        if (!text.empty())
            input.Append(text.data(), text.size());
    }
    input.End();
}

namespace {

// The reader's thread: it shares the state, so a reader that is let go never outlives it.
DWORD WINAPI ReaderEntry(void* held) {
    using Shared = std::shared_ptr<Terminal::State>;
    std::unique_ptr<Shared> shared(static_cast<Shared*>(held));
    (*shared)->Read();
    return 0;
}

}  // namespace

Terminal::Terminal() : state(std::make_shared<State>()) {}

Terminal::~Terminal() {
    Release();
}

std::string Terminal::Take() {
    State& s = *state;
    std::string problem;
    s.in = GetStdHandle(STD_INPUT_HANDLE);
    s.out = GetStdHandle(STD_OUTPUT_HANDLE);
    s.inConsole = GetConsoleMode(s.in, &s.inMode) != 0;
    s.outConsole = GetConsoleMode(s.out, &s.outMode) != 0;
    if (s.inConsole) {
        s.inCodePage = GetConsoleCP();
        s.inChanged = true;
        SetConsoleCP(CP_UTF8);
        DWORD mode = (s.inMode & ~DWORD(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                        ENABLE_PROCESSED_INPUT | ENABLE_MOUSE_INPUT |
                                        ENABLE_WINDOW_INPUT)) |
                     ENABLE_EXTENDED_FLAGS;
        if (!SetConsoleMode(s.in, mode | ENABLE_VIRTUAL_TERMINAL_INPUT)) {
            if (!SetConsoleMode(s.in, mode))
                s.inConsole = false;  // the keys cannot come raw: read as plain input
            else
                problem = "this console sends no terminal sequences for special keys";
        }
    }
    if (s.outConsole) {
        s.outCodePage = GetConsoleOutputCP();
        s.outChanged = true;
        SetConsoleOutputCP(CP_UTF8);
        DWORD mode = s.outMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING;
        // A terminal's line feed goes down only; with raw keys the console says where the line
        // begins, as on a real terminal.
        if (!(s.inConsole && SetConsoleMode(s.out, mode | DISABLE_NEWLINE_AUTO_RETURN)) &&
            !SetConsoleMode(s.out, mode)) {
            problem += std::string(problem.empty() ? "" : "; ") +
                       "this console does not read terminal sequences (" +
                       GetSystemErrorText(static_cast<int>(GetLastError())) + ")";
        }
    }
    s.stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto* held = new std::shared_ptr<State>(state);
    s.reader.reset(CreateThread(nullptr, 0, ReaderEntry, held, 0, nullptr));
    if (!s.stop || !s.reader) {
        if (!s.reader)
            delete held;
        s.input.End();
        problem = "nothing can be typed: " + GetSystemErrorText(static_cast<int>(GetLastError()));
    }
    return problem;
}

bool Terminal::KeysRaw() const {
    return state->inConsole && state->inChanged;
}

void Terminal::Release() {
    State& s = *state;
    s.input.Stop();
    if (s.stop)
        SetEvent(s.stop.get());
    // A reader of piped input may sit in ReadFile for good; it holds the state it needs and
    // ends with the process.
    if (s.reader && s.inConsole)
        WaitForSingleObject(s.reader.get(), kReaderEndMs);
    s.reader.reset();
    if (s.outChanged) {
        if (!s.unfinished.empty())
            WriteAll(s.out, s.unfinished.data(), s.unfinished.size());
        s.unfinished.clear();
        SetConsoleMode(s.out, s.outMode);
        SetConsoleOutputCP(s.outCodePage);
        s.outChanged = false;
    }
    if (s.inChanged) {
        SetConsoleMode(s.in, s.inMode);
        SetConsoleCP(s.inCodePage);
        s.inChanged = false;
    }
}

WakeSignal& Terminal::InputWaiting() {
    return state->input.Waiting();
}

std::string Terminal::TakeInput(bool* ended) {
    return state->input.Take(ended);
}

bool Terminal::Write(const char* data, size_t size) {
    State& s = *state;
    if (!s.outChanged)
        return WriteAll(s.out, data, size);
    // The console would show each half of a cut character as a character of its own.
    std::string text;
    if (!s.unfinished.empty()) {
        text = s.unfinished;
        text.append(data, size);
        s.unfinished.clear();
        data = text.data();
        size = text.size();
    }
    size_t tail = UnfinishedTail(data, size);
    s.unfinished.assign(data + size - tail, tail);
    return WriteAll(s.out, data, size - tail);
}

void WriteMessage(const std::string& text) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0, wrote = 0;
    if (!GetConsoleMode(error, &mode)) {
        WriteAll(error, text.data(), text.size());
        return;
    }
    std::wstring wide = Widen(text);
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &wrote, nullptr);
}

}  // namespace tolvi::platform
