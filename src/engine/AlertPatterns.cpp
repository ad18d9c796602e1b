// Compiling alert patterns, and saying where one goes wrong. std::regex names what is wrong
// but not where: the place is the first prefix of the pattern that fails for another reason
// than being unfinished.
#include "engine/AlertPatterns.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/Format.h"

namespace tolvi {
namespace {

const char kCaseless[] = "(?i)";

const char* Reason(std::regex_constants::error_type code) {
    using namespace std::regex_constants;
    switch (code) {
        case error_collate: return "an unknown collating element";
        case error_ctype: return "an unknown character class";
        case error_escape: return "an escape that means nothing, or a \\ at the end";
        case error_backref: return "a back reference to a group that is not there";
        case error_brack: return "a [ without its ]";
        case error_paren: return "a ( without its )";
        case error_brace: return "a { without its }";
        case error_badbrace: return "a count in { } that is no count";
        case error_range: return "a range in [ ] that ends before it starts";
        case error_space: return "too little memory";
        case error_badrepeat: return "a *, +, ? or { } with nothing to repeat";
        case error_complexity: return "too complex a match";
        case error_stack: return "too deep a match";
        default: return "a form std::regex does not take";
    }
}

bool Unfinished(std::regex_constants::error_type code) {
    using namespace std::regex_constants;
    return code == error_brack || code == error_paren || code == error_brace ||
           code == error_escape;
}

// The regex of a pattern, or false with the error.
bool Compile(const std::string& source, bool caseless, std::regex* out,
             std::regex_constants::error_type* code) {
    auto flags = std::regex::ECMAScript | std::regex::optimize;
#ifdef __GLIBCXX__
    // Matched breadth first, in time that grows with the line and the pattern, never
    // exponentially, and in little stack: a backtracking match of ".*x" on a long line
    // recurses once a character. It takes no back references.
    flags |= std::regex_constants::__polynomial;
#endif
    if (caseless)
        flags |= std::regex::icase;
    try {
        *out = std::regex(source, flags);
        std::regex_search("", *out);  // a back reference is refused only when matched
        return true;
    } catch (const std::regex_error& e) {
        *code = e.code();
        return false;
    }
}

// Where a back reference stands: a \ and a digit from 1 on, outside [ ].
size_t BackReference(const std::string& source) {
    bool inClass = false;
    for (size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '\\') {
            if (!inClass && i + 1 < source.size() && source[i + 1] >= '1' && source[i + 1] <= '9')
                return i + 2;
            ++i;
        } else if (source[i] == '[') {
            inClass = true;
        } else if (source[i] == ']') {
            inClass = false;
        }
    }
    return std::string::npos;
}

bool IsPlain(unsigned char c) {
    return c >= 0x20 && c < 0x7F && !std::strchr("\\^$.|?*+()[]{}", c);
}

bool HasRequired(const AlertPattern& pattern, const std::string& line) {
    if (pattern.required.empty())
        return true;
    if (!pattern.caseless)
        return line.find(pattern.required) != std::string::npos;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return std::search(line.begin(), line.end(), pattern.required.begin(),
                       pattern.required.end(), [&](char a, char b) {
                           return lower(static_cast<unsigned char>(a)) ==
                                  static_cast<unsigned char>(b);
                       }) != line.end();
}

}  // namespace

std::string RequiredText(const std::string& source, bool caseless) {
    if (source.find('|') != std::string::npos)
        return "";  // one side may need none of it
    std::string best, run;
    int depth = 0;
    auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    for (size_t i = 0; i < source.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(source[i]);
        if (depth == 0 && IsPlain(c)) {
            run.push_back(static_cast<char>(caseless && c >= 'A' && c <= 'Z' ? c + 32 : c));
            continue;
        }
        if (c == '?' || c == '*' || c == '{') {
            if (!run.empty())
                run.pop_back();  // the character before may be left out, or repeated apart
        }
        endRun();
        if (c == '\\') {
            // An escape stands for a class or a character (\x41, \u0041, \cJ, \k<name>):
            // the run ends at it, and what may belong to it is no plain text either.
            ++i;
            while (i + 1 < source.size() && source[i + 1] != '\0' &&
                   (std::isalnum(static_cast<unsigned char>(source[i + 1])) ||
                    std::strchr("{}<>", source[i + 1])))
                ++i;
        } else if (c == '{') {
            while (i + 1 < source.size() && source[i] != '}')
                ++i;
        } else if (c == '[') {
            // A class, to its ]: a ] first or after ^ is its own member.
            size_t j = i + 1;
            if (j < source.size() && source[j] == '^')
                ++j;
            if (j < source.size() && source[j] == ']')
                ++j;
            for (; j < source.size() && source[j] != ']'; ++j) {
                if (source[j] == '\\')
                    ++j;
            }
            i = j;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        }
        // Anything else, ASCII's controls and every byte beyond it among them, ends the run:
        // a caseless pattern's other letters are not ours to fold.
    }
    endRun();
    return best.size() >= 3 ? best : "";
}

std::vector<std::string> AlertPatternLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::string CompileAlertPatterns(const std::string& text, std::vector<AlertPattern>* patterns) {
    std::vector<AlertPattern> compiled;
    int number = 0;
    for (const std::string& line : AlertPatternLines(text)) {
        ++number;
        const bool caseless = line.compare(0, sizeof kCaseless - 1, kCaseless) == 0;
        const size_t skip = caseless ? sizeof kCaseless - 1 : 0;
        const std::string source = line.substr(skip);
        AlertPattern p{line, {}, RequiredText(source, caseless), caseless};
        std::regex_constants::error_type code{};
        if (Compile(source, caseless, &p.regex, &code)) {
            compiled.push_back(std::move(p));
            continue;
        }
        size_t backReference = BackReference(source);
        if (backReference != std::string::npos)
            return Format("Alert pattern %d '%s' cannot be used: at %d, a back reference, which "
                          "alerts do not take",
                          number, line.c_str(), static_cast<int>(skip + backReference));
        // Where: the first prefix that fails for another reason than being unfinished.
        size_t where = source.size();
        std::regex_constants::error_type why = code;
        for (size_t length = 1; length <= source.size(); ++length) {
            std::regex scratch;
            std::regex_constants::error_type prefixCode{};
            if (!Compile(source.substr(0, length), caseless, &scratch, &prefixCode) &&
                !Unfinished(prefixCode)) {
                where = length;
                why = prefixCode;
                break;
            }
        }
        return Format("Alert pattern %d '%s' cannot be used: at %d, %s", number, line.c_str(),
                      static_cast<int>(skip + where), Reason(why));
    }
    if (patterns)
        *patterns = std::move(compiled);
    return "";
}

bool MatchesAlert(const AlertPattern& pattern, const std::string& line) {
    if (!HasRequired(pattern, line))
        return false;
    try {
        return std::regex_search(line, pattern.regex);
    } catch (const std::regex_error&) {
        return false;  // too complex for this line: not a match, and the watch goes on
    }
}

}  // namespace tolvi
