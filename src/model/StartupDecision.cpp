// The start-up decisions.
#include "model/StartupDecision.h"

namespace tolvi {

std::string CommandLineTail(const std::string& commandLine) {
    size_t i = 0;
    const size_t n = commandLine.size();
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    if (i < n && commandLine[i] == '"') {
        size_t close = commandLine.find('"', i + 1);
        i = close == std::string::npos ? n : close + 1;
    } else {
        while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t')
            ++i;
    }
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    return commandLine.substr(i);
}

bool WantsTrayStart(const std::string& tail) {
    return tail.find("minimized") != std::string::npos;
}

SecondInstanceAction DecideSecondInstance(bool firstWindowKnown, bool firstWindowMinimised) {
    SecondInstanceAction action;
    action.bringToFront = firstWindowKnown;
    action.restore = firstWindowKnown && firstWindowMinimised;
    return action;
}

}  // namespace tolvi
