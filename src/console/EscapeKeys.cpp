// The escape key's state machine.
#include "console/EscapeKeys.h"

namespace tolvi::console {

const char kEscapeHelp[] = "Ctrl+] then: q leaves, w shows who is on, Ctrl+] sends Ctrl+]";

std::vector<KeyEvent> EscapeKeys::Feed(const std::string& keys) {
    std::vector<KeyEvent> events;
    auto type = [&events](char key) {
        if (events.empty() || events.back().kind != KeyEvent::Kind::Typed)
            events.push_back(KeyEvent{});
        events.back().typed.push_back(key);
    };
    for (char key : keys) {
        if (!escaped) {
            if (key == kEscapeKey)
                escaped = true;
            else
                type(key);
            continue;
        }
        escaped = false;
        if (key == kEscapeKey)
            type(key);
        else if (key == 'q' || key == 'Q')
            events.push_back(KeyEvent{KeyEvent::Kind::Leave, {}});
        else if (key == 'w' || key == 'W')
            events.push_back(KeyEvent{KeyEvent::Kind::WhoIsOn, {}});
        else
            events.push_back(KeyEvent{KeyEvent::Kind::Help, {}});
    }
    return events;
}

}  // namespace tolvi::console
