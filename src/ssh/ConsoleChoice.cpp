// Picking a console by the user name, the list for any other name, and the line typed after it.
#include "ssh/ConsoleChoice.h"

#include <algorithm>
#include <cctype>

#include "engine/SafeText.h"

namespace tolvi::ssh {
namespace {

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A name picks a console by its port, its pipe's whole name, or the short name of a local
// pipe ("com1" for \\.\pipe\com1), never the last part of a pipe on another server or
// in a folder (\\hostB\pipe\com1, \\.\pipe\vmB\com1).
bool Names(const std::string& name, const ConsoleEntry& entry) {
    static const std::string kLocalPipes = "\\\\.\\pipe\\";
    return name == entry.port ||
           (!entry.pipe.empty() &&
            (SameText(name, entry.pipe) ||
             (name.find('\\') == std::string::npos && SameText(kLocalPipes + name, entry.pipe))));
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + "  " : text + std::string(width + 2 - text.size(), ' ');
}

}  // namespace

std::vector<ConsoleEntry> ConsolesFor(const AuthorizedKey& key,
                                      const std::vector<ConsoleEntry>& entries) {
    std::vector<ConsoleEntry> allowed;
    for (const ConsoleEntry& entry : entries) {
        if (!key.limited || std::any_of(key.consoles.begin(), key.consoles.end(),
                                        [&](const std::string& n) { return Names(n, entry); }))
            allowed.push_back(entry);
    }
    return allowed;
}

const ConsoleEntry* PickConsole(const std::string& name,
                                const std::vector<ConsoleEntry>& consoles) {
    const ConsoleEntry* found = nullptr;
    for (const ConsoleEntry& entry : consoles) {
        if (entry.port == name)
            return &entry;
        if (Names(name, entry)) {
            if (found)
                return nullptr;  // two pipes of that short name on different servers
            found = &entry;
        }
    }
    return found;
}

std::string NoSuchConsole(const std::string& name) {
    return "No console named " + SafeName(name) + ".\r\n";
}

std::string ConsoleList(const std::string& name, const std::vector<ConsoleEntry>& consoles) {
    std::string text = "No console named " + SafeName(name) + ". Consoles you may open:\r\n";
    if (consoles.empty())
        return text + "  (none)\r\n";
    // A description is whatever its connector was given: shown as text, never acted on.
    std::vector<ConsoleEntry> shown;
    size_t portWidth = 4, pipeWidth = 4, descriptionWidth = 11;
    for (const ConsoleEntry& c : consoles) {
        shown.push_back(
            {SafeName(c.port), SafeName(c.pipe), SafeName(c.description), SafeName(c.status)});
        portWidth = std::max(portWidth, shown.back().port.size());
        pipeWidth = std::max(pipeWidth, shown.back().pipe.size());
        descriptionWidth = std::max(descriptionWidth, shown.back().description.size());
    }
    text += "  " + Padded("Port", portWidth) + Padded("Pipe", pipeWidth) +
            Padded("Description", descriptionWidth) + "Status\r\n";
    for (const ConsoleEntry& c : shown) {
        text += "  " + Padded(c.port, portWidth) + Padded(c.pipe, pipeWidth) +
                Padded(c.description, descriptionWidth) + c.status + "\r\n";
    }
    return text + "Type a port and Enter to open it: ";
}

TypedLine::State TypedLine::Feed(const char* data, size_t size, std::string* shown) {
    for (size_t i = 0; i < size && state == State::Typing; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == '\r' || c == '\n') {
            state = State::Done;
            if (echo)
                *shown += "\r\n";
        } else if (c == 0x7F || c == 0x08) {
            if (!text.empty()) {
                text.pop_back();
                if (echo)
                    *shown += "\b \b";
            }
        } else if (c < 0x20 || text.size() >= kMaxLine) {
            state = State::GivenUp;  // Ctrl-C, Ctrl-D, Escape and the rest
            if (echo)
                *shown += "\r\n";
        } else {
            text += static_cast<char>(c);
            if (echo)
                *shown += static_cast<char>(c);
        }
    }
    return state;
}

}  // namespace tolvi::ssh
