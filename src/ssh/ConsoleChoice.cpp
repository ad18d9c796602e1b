// Picking a console by the user name, the list for any other name, and the line typed after it.
#include "ssh/ConsoleChoice.h"

#include <algorithm>
#include <cctype>

namespace tolvi::ssh {
namespace {

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "com1" of "\\.\pipe\com1": what follows the last backslash.
std::string ShortName(const std::string& pipe) {
    size_t slash = pipe.find_last_of('\\');
    return slash == std::string::npos ? pipe : pipe.substr(slash + 1);
}

bool Names(const std::string& name, const ConsoleEntry& entry) {
    return name == entry.port || (!entry.pipe.empty() && (SameText(name, entry.pipe) ||
                                                          SameText(name, ShortName(entry.pipe))));
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + "  " : text + std::string(width + 2 - text.size(), ' ');
}

// The user name as it may be shown: control characters would reach the client's terminal.
std::string Printable(const std::string& name) {
    std::string shown;
    for (char c : name)
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return shown;
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
    return "No console named " + Printable(name) + ".\r\n";
}

std::string ConsoleList(const std::string& name, const std::vector<ConsoleEntry>& consoles) {
    std::string text = "No console named " + Printable(name) + ". Consoles you may open:\r\n";
    size_t portWidth = 4, pipeWidth = 4, descriptionWidth = 11;
    for (const ConsoleEntry& c : consoles) {
        portWidth = std::max(portWidth, c.port.size());
        pipeWidth = std::max(pipeWidth, c.pipe.size());
        descriptionWidth = std::max(descriptionWidth, c.description.size());
    }
    if (consoles.empty())
        return text + "  (none)\r\n";
    text += "  " + Padded("Port", portWidth) + Padded("Pipe", pipeWidth) +
            Padded("Description", descriptionWidth) + "Status\r\n";
    for (const ConsoleEntry& c : consoles) {
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
