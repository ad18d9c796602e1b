// The patterns a console's lines are watched for: ECMAScript regular expressions, one a line,
// case-sensitive unless one starts with (?i). A pattern that does not compile is refused with
// where it goes wrong and why.
#pragma once
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace tolvi {

struct AlertPattern {
    std::string text;  // as written, (?i) and all
    std::regex regex;
    // Text that every match holds (ASCII, in lower case for a caseless pattern), or "": a
    // line without it is passed over without running the regex, which costs far more.
    std::string required;
    bool caseless = false;
};

// The longest run of plain characters that any match of source must hold, 3 at least, or "".
// Conservative: a pattern with an alternative, or whose run could be left out, has none.
std::string RequiredText(const std::string& source, bool caseless);

// The patterns of the option's text (one a line, blank lines left out); "" when they all
// compile, otherwise "Alert pattern 2 'a(b' cannot be used: at 4, a ( without its )".
std::string CompileAlertPatterns(const std::string& text, std::vector<AlertPattern>* patterns);

// Whether line has a match of pattern; a match too complex to finish is none.
bool MatchesAlert(const AlertPattern& pattern, const std::string& line);

// The lines of the option's text that are patterns.
std::vector<std::string> AlertPatternLines(const std::string& text);

}  // namespace tolvi
