// Splitting a command line into its words, without a shell.
#include "platform/Process.h"

namespace tolvi::platform {

bool SplitCommandLine(const std::string& line, std::vector<std::string>* words) {
    words->clear();
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words->push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\' && i + 1 < line.size()) {
            word.push_back(line[++i]);
        } else if (c == '\'' || c == '"') {
            size_t end = line.find(c, i + 1);
            // In "...", a backslash keeps a quote or a backslash; in '...' it is itself.
            if (c == '"') {
                std::string quoted;
                size_t j = i + 1;
                for (; j < line.size() && line[j] != '"'; ++j) {
                    if (line[j] == '\\' && j + 1 < line.size() &&
                        (line[j + 1] == '"' || line[j + 1] == '\\'))
                        ++j;
                    quoted.push_back(line[j]);
                }
                if (j >= line.size())
                    return false;
                word += quoted;
                i = j;
                continue;
            }
            if (end == std::string::npos)
                return false;
            word += line.substr(i + 1, end - i - 1);
            i = end;
        } else {
            word.push_back(c);
        }
    }
    if (inWord)
        words->push_back(word);
    return true;
}

}  // namespace tolvi::platform
